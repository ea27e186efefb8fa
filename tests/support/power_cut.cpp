#include "tests/support/power_cut.h"

#include <dlfcn.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/jet/storage/journal_format.h"
#include "tests/support/files.h"

namespace testsupport {
namespace {

namespace fs = std::filesystem;

WriteLog* recording = nullptr;

// The C library's own function, found past this program's definition of it (through the
// sanitizers' wrappers when they are linked).
template <typename Function>
Function Real(const char* name) {
  void* found = dlsym(RTLD_NEXT, name);
  if (!found) std::abort();
  return reinterpret_cast<Function>(found);
}

fs::path PathOf(int fd) {
  std::error_code error;
  return fs::read_symlink("/proc/self/fd/" + std::to_string(fd), error);
}

constexpr uint64_t kSector = 512;

// Writes `bytes` at `offset`, growing the file with zeros as the file system would; with
// `sectors`, only the 512-byte sectors of the file it chooses (a torn write).
void Apply(std::vector<uint8_t>& file, const FileOperation& operation, const std::vector<bool>* sectors = nullptr) {
  if (operation.kind == FileOperation::Cut) {
    file.resize(operation.offset);
    return;
  }
  const uint64_t end = operation.offset + operation.bytes.size();
  for (uint64_t at = operation.offset; at < end;) {
    const uint64_t sector_end = std::min(end, (at / kSector + 1) * kSector);
    const size_t index = static_cast<size_t>(at / kSector - operation.offset / kSector);
    if (!sectors || (*sectors)[index]) {
      if (file.size() < sector_end) file.resize(sector_end);
      std::memcpy(file.data() + at, operation.bytes.data() + (at - operation.offset), sector_end - at);
    }
    at = sector_end;
  }
}

size_t SectorsOf(const FileOperation& operation) {
  const uint64_t first = operation.offset / kSector;
  const uint64_t last = (operation.offset + operation.bytes.size() + kSector - 1) / kSector;
  return static_cast<size_t>(last - first);
}

}  // namespace

WriteLog::WriteLog(const fs::path& database)
    : database_(fs::canonical(database)),
      journal_(engine::jet::JournalPathFor(database_)),
      folder_(database_.parent_path()),
      before_{ReadBytes(database), {}} {
  if (recording) std::abort();
  if (fs::exists(journal_)) before_.journal = ReadBytes(journal_);
  recording = this;
}

WriteLog::~WriteLog() { recording = nullptr; }

int WriteLog::FileOf(int fd) const {
  const fs::path path = PathOf(fd);
  if (path == database_) return kDatabase;
  if (path == journal_) return kJournal;
  if (path == folder_) return 2;
  return -1;
}

void WriteLog::Record(int fd, FileOperation operation) {
  operation.file = FileOf(fd);
  if (operation.file < 0) return;
  if (operation.file == 2) {
    if (operation.kind != FileOperation::Sync) return;
    operation.kind = FileOperation::SyncFolder;
  }
  operations_.push_back(std::move(operation));
}

void WriteLog::Removed(const char* path) {
  std::error_code error;
  if (fs::weakly_canonical(path, error) != journal_) return;
  operations_.push_back({FileOperation::Remove, kJournal, 0, {}});
}

DiskState PowerCut::After(size_t done, Loss loss, std::mt19937& random) const {
  // What each file holds for sure (synced), whether its folder entry is sure to exist, and
  // what has happened to it since.
  struct File {
    std::vector<uint8_t> synced;
    bool exists = false;
    bool entry_synced = false;
    std::vector<size_t> unsynced;
  };
  File files[2];
  files[kDatabase] = {before_.database, true, true, {}};
  if (before_.journal) files[kJournal] = {*before_.journal, true, true, {}};
  std::vector<std::pair<int, bool>> folder_changes;  // file, exists after, since the folder's last sync
  for (size_t i = 0; i < done; ++i) {
    const FileOperation& operation = operations_[i];
    File& file = files[operation.file == kJournal ? kJournal : kDatabase];
    switch (operation.kind) {
      case FileOperation::Write:
      case FileOperation::Cut:
        if (!file.exists) {  // made by this write: a new file
          file = {{}, true, false, {}};
          folder_changes.emplace_back(operation.file, true);
        }
        file.unsynced.push_back(i);
        break;
      case FileOperation::Sync:
        for (size_t j : file.unsynced) Apply(file.synced, operations_[j]);
        file.unsynced.clear();
        break;
      case FileOperation::Remove:
        file.exists = false;
        folder_changes.emplace_back(operation.file, false);
        break;
      case FileOperation::SyncFolder:
        for (auto [which, exists] : folder_changes) files[which].entry_synced = exists;
        folder_changes.clear();
        break;
    }
  }

  // The journal's folder entry: as synced, then the changes since that the disk kept.
  const bool keep_all = loss == Loss::None || loss == Loss::Torn;
  std::bernoulli_distribution coin(0.5);
  bool journal_exists = files[kJournal].entry_synced;
  for (auto [which, exists] : folder_changes) {
    if (which == kJournal && (keep_all || coin(random))) journal_exists = exists;
  }

  DiskState state;
  for (int which : {kDatabase, kJournal}) {
    File& file = files[which];
    std::vector<size_t> kept;
    for (size_t j : file.unsynced) {
      if (keep_all || coin(random)) kept.push_back(j);
    }
    if (loss == Loss::Reordered) std::shuffle(kept.begin(), kept.end(), random);
    std::vector<uint8_t> bytes = file.synced;
    for (size_t j : kept) {
      const FileOperation& operation = operations_[j];
      if (loss == Loss::Torn && j + 1 == done && operation.kind == FileOperation::Write) {
        std::vector<bool> sectors(SectorsOf(operation));
        for (size_t s = 0; s < sectors.size(); ++s) sectors[s] = coin(random);
        Apply(bytes, operation, &sectors);
      } else {
        Apply(bytes, operation);
      }
    }
    if (which == kDatabase) {
      state.database = std::move(bytes);
    } else if (journal_exists) {
      state.journal = std::move(bytes);
    }
  }
  return state;
}

std::vector<size_t> PowerCut::QuietPoints() const {
  std::vector<size_t> points = {0};
  bool removed = false;
  for (size_t i = 0; i < operations_.size(); ++i) {
    if (operations_[i].kind == FileOperation::Remove) removed = true;
    if (operations_[i].kind == FileOperation::SyncFolder && removed) {
      points.push_back(i + 1);
      removed = false;
    }
  }
  return points;
}

}  // namespace testsupport

// The C library's functions that change files, seen first by the log while one records. A
// test program that links this file calls these instead of the C library's, which they call.
extern "C" {

ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
  static const auto real = testsupport::Real<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
  const ssize_t written = real(fd, data, size, offset);
  if (written > 0 && testsupport::recording) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    testsupport::recording->Record(fd, {testsupport::FileOperation::Write, 0, static_cast<uint64_t>(offset),
                                        std::vector<uint8_t>(bytes, bytes + written)});
  }
  return written;
}

ssize_t pwritev(int fd, const struct iovec* parts, int count, off_t offset) {
  static const auto real = testsupport::Real<ssize_t (*)(int, const struct iovec*, int, off_t)>("pwritev");
  const ssize_t written = real(fd, parts, count, offset);
  if (written > 0 && testsupport::recording) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < count && bytes.size() < static_cast<size_t>(written); ++i) {
      const auto* part = static_cast<const uint8_t*>(parts[i].iov_base);
      const size_t take = std::min(parts[i].iov_len, static_cast<size_t>(written) - bytes.size());
      bytes.insert(bytes.end(), part, part + take);
    }
    testsupport::recording->Record(fd, {testsupport::FileOperation::Write, 0, static_cast<uint64_t>(offset),
                                        std::move(bytes)});
  }
  return written;
}

int ftruncate(int fd, off_t length) {
  static const auto real = testsupport::Real<int (*)(int, off_t)>("ftruncate");
  const int result = real(fd, length);
  if (result == 0 && testsupport::recording) {
    testsupport::recording->Record(fd, {testsupport::FileOperation::Cut, 0, static_cast<uint64_t>(length), {}});
  }
  return result;
}

int fsync(int fd) {
  static const auto real = testsupport::Real<int (*)(int)>("fsync");
  const int result = real(fd);
  if (result == 0 && testsupport::recording) testsupport::recording->Record(fd, {testsupport::FileOperation::Sync, 0, 0, {}});
  return result;
}

int fdatasync(int fd) {
  static const auto real = testsupport::Real<int (*)(int)>("fdatasync");
  const int result = real(fd);
  if (result == 0 && testsupport::recording) testsupport::recording->Record(fd, {testsupport::FileOperation::Sync, 0, 0, {}});
  return result;
}

int unlink(const char* path) {
  static const auto real = testsupport::Real<int (*)(const char*)>("unlink");
  const int result = real(path);
  if (result == 0 && testsupport::recording) testsupport::recording->Removed(path);
  return result;
}

}  // extern "C"
