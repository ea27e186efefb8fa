// The pages of one Jet file: page n is the page_size bytes at n * page_size. Page 0 is decoded
// on open (header_page.h). Pages are read on demand with pread (a scan's a few at a time) into a cache
// of bounded size (page_cache.h) and handed out by handle (PageRef); encrypted pages are
// decrypted as they arrive. The cache keeps ARCHIVI_PAGE_CACHE_PAGES unused clean pages when
// that variable is set to a whole number (ParsePagesKept), else kCleanPagesKept; any other
// value is ignored, with one line on the standard error. Every write goes through here too, and through the journal
// (journal.h); a journal an interrupted commit left is undone on open (journal_recovery.h).
//
// Files are never memory-mapped: another program may cut a source short or rewrite it while
// we read it (a share, a backup tool), and a mapping turns that into a signal. With pread a
// read past the new end comes back short, and a file opened read-only is also checked for a
// new size or modification time at every read: either way the reader gets an Error of kind
// FileChanged.
//
// A file opened read-only is read in reads (ReadHold): a walk over a table, a lookup, the
// catalogue. A read holds the reader's share of the file's lock for its length, nested reads
// share it, and between reads writers elsewhere may commit. A read that begins after such a
// commit (the engine's change counter in the file moved on) drops the cached pages and moves
// generation() on, so that what was decoded from them is read again. Inside a read, or
// between reads without a commit of ours (another program's copy, a file cut short), a new
// size or modification time is an error of kind FileChanged. Files opened for writing
// and databases in memory have one generation, and their reads take no lock.
// Layout: FORMAT.md, "The file and its pages" and "Header page".
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/database/open_mode.h"
#include "engine/jet/storage/file_lock.h"
#include "engine/jet/format/format.h"
#include "engine/jet/storage/header_page.h"
#include "engine/jet/storage/journal.h"
#include "engine/jet/storage/page_cache.h"
#include "engine/jet/storage/page_store.h"

namespace engine::jet {

class Pager final : public PageStore {
 public:
  // Opens a file, following symbolic links to it (errors still name `path` as given). Throws
  // engine::Error for a missing, unreadable, password-protected or non-Jet file.
  static std::unique_ptr<Pager> Open(const std::filesystem::path& path, OpenMode mode);
  // Reads a database held in memory (tests, fuzzing); `name` stands for the file in errors.
  static std::unique_ptr<Pager> FromBytes(std::vector<uint8_t> bytes, std::string name);
  ~Pager() override;

  uint32_t page_count() const override { return page_count_; }
  PageRef ReadPage(PageNumber page) override;
  WritablePage WritePage(PageNumber page) override;
  PageNumber AppendPage() override;

  // Writing (read-write opens only): changed pages stay in the cache until Commit, which goes
  // through the rollback journal (journal.h); Rollback forgets them. Pages appended since the
  // last commit leave with a rollback (a handle still held keeps its bytes, stale). Closing the pager commits, except
  // a long change, which it rolls back: only its own Commit ends it.
  // A rollback that leaves the cached pages untrustworthy (Journal::needs_recovery) makes
  // every later read and write fail with an error of kind Io, until the file is opened again.
  void Commit();
  void Rollback();
  bool has_uncommitted_changes() const { return journal_ && journal_->has_changes(); }
  bool writable() const { return journal_ != nullptr; }
  // Everything written until the next Commit or Rollback is one change, however long;
  // Spill moves the saved contents to the journal file meanwhile, to keep memory bounded.
  // Waits first, as a commit does, for other programs' reads under way to end (throws
  // engine::Error of kind Locked when they do not within the wait).
  void BeginLongChange();
  bool in_long_change() const { return journal_ && journal_->in_long_change(); }
  void Spill();

  // A journal found beside the file that was not its own and was renamed, or empty.
  const std::filesystem::path& set_aside_journal() const { return set_aside_journal_; }

  const std::string& file_name() const override { return file_name_; }

  // Pages held in memory now: those handles hold, the changes not committed, and the
  // recently used clean pages the cache keeps.
  size_t pages_in_memory() const { return cache_.pages_in_memory(); }

  // A read: see the top of this file. Throws engine::Error (kind Locked) when a commit
  // elsewhere does not end within the wait.
  void BeginRead();
  void EndRead();
  // How many times the file was found changed by another program since it was opened.
  uint64_t generation() const { return generation_; }

 private:
  Pager();
  void Start(uint64_t file_size);
  void UndoJournalForReading(const std::filesystem::path& path);
  // Throws `what` with the system's reason for `error_number`, of the kind that errno gives.
  [[noreturn]] void ThrowSystemError(const std::string& what, int error_number) const;
  // Reads pages first .. first + count - 1 into the buffers `into` (one page each).
  void FetchRun(uint32_t first, uint32_t count, uint8_t* const* into);
  // Reads the page and, in a scan, the pages after it up to the first in memory; returns a
  // handle on the page.
  PageRef ReadAhead(uint32_t page);
  void RefuseIfChanged(uint32_t page) const;
  [[noreturn]] void Changed(uint32_t page) const;
  void RefuseIfNeedsRecovery() const;
  // At the start of a read: starts afresh when another program changed the file.
  void CatchUp(const std::filesystem::path& path);
  void NoteFileState(const struct stat& info);
  static constexpr uint32_t kReadAheadPages = 16;
  uint32_t next_in_sequence_ = 1;  // the page after the last ones read from the file
  // 8 MB of 4 KB pages: the benchmarks gain nothing from more.
  static constexpr size_t kCleanPagesKept = 2048;

  std::string file_name_;
  int fd_ = -1;
  std::vector<uint8_t> memory_;  // the whole database when opened from bytes
  uint32_t page_count_ = 0;
  PageCache cache_;
  const uint8_t* in_place_ = nullptr;  // databases from bytes: memory_ itself
  // Read-only files: the size, modification time and change counter seen at the start of the
  // current read (or the last one), which must not change while we read.
  bool watch_for_changes_ = false;
  std::filesystem::path path_;
  uint64_t seen_size_ = 0;
  int64_t seen_mtime_seconds_ = 0;
  int64_t seen_mtime_nanoseconds_ = 0;
  uint64_t seen_change_counter_ = 0;
  uint64_t generation_ = 0;
  int read_depth_ = 0;                  // nested reads under way; the outermost holds a reader's share
  std::shared_ptr<DatabaseLock> lock_;  // files opened by path
  bool writing_ = false;                // holds lock_'s writer byte
  std::unique_ptr<Journal> journal_;    // set when open for writing
  bool needs_recovery_ = false;         // see Rollback
  std::filesystem::path set_aside_journal_;
};

// A read of a pager for as long as it lives (see the top of this file).
class ReadHold {
 public:
  explicit ReadHold(Pager& pager) : pager_(pager) { pager_.BeginRead(); }
  ~ReadHold() { pager_.EndRead(); }
  ReadHold(const ReadHold&) = delete;
  ReadHold& operator=(const ReadHold&) = delete;

 private:
  Pager& pager_;
};

}  // namespace engine::jet
