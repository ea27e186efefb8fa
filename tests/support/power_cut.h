// The files a power cut could leave behind a change to a Jet database, as SQLite's crash
// tests build them. While a WriteLog lives, every write, cut, sync and removal the process
// makes to the database or its journal (and every sync of their folder) is recorded, on its
// way to the C library: the engine is not changed for it. PowerCut then replays the log up to
// any point and gives what a disk may hold there: what was synced, plus the writes since the
// last sync of each file as they all happened, a random part of them, in another order, or
// with the last one torn at a 512-byte sector.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace testsupport {

struct FileOperation {
  enum Kind { Write, Cut, Sync, Remove, SyncFolder };
  Kind kind = Write;
  int file = 0;  // kDatabase or kJournal (SyncFolder: their folder)
  uint64_t offset = 0;  // Write: where; Cut: the new length
  std::vector<uint8_t> bytes;  // Write
};
inline constexpr int kDatabase = 0;
inline constexpr int kJournal = 1;

// What the disk holds: after a power cut, or when a log starts.
struct DiskState {
  std::vector<uint8_t> database;
  std::optional<std::vector<uint8_t>> journal;  // none when no journal is there
};

// Records the operations on `database` and its journal from construction to destruction.
// One at a time.
class WriteLog {
 public:
  explicit WriteLog(const std::filesystem::path& database);
  ~WriteLog();
  WriteLog(const WriteLog&) = delete;
  WriteLog& operator=(const WriteLog&) = delete;

  const DiskState& before() const { return before_; }
  const std::vector<FileOperation>& operations() const { return operations_; }

  // Called by the interposed C library functions.
  void Record(int fd, FileOperation operation);
  void Removed(const char* path);

 private:
  int FileOf(int fd) const;  // kDatabase, kJournal, 2 for their folder, -1 for another file
  std::filesystem::path database_, journal_, folder_;
  DiskState before_;
  std::vector<FileOperation> operations_;
};

class PowerCut {
 public:
  enum class Loss { None, Dropped, Reordered, Torn };
  PowerCut(const DiskState& before, const std::vector<FileOperation>& operations)
      : before_(before), operations_(operations) {}

  // The disk after the first `done` operations, the unsynced ones lost as `loss` says (Torn
  // tears the last operation, a write, and keeps the others). `random` chooses which.
  DiskState After(size_t done, Loss loss, std::mt19937& random) const;

  // The points where no change is under way: the start, and after each journal's removal has
  // reached the folder (a commit ended, or a recovery). Each crash state must hold the content at the point
  // before it or at the point after it.
  std::vector<size_t> QuietPoints() const;

 private:
  const DiskState& before_;
  const std::vector<FileOperation>& operations_;
};

}  // namespace testsupport
