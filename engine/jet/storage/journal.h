// The running change and its commit. Changed pages stay in memory until commit; the
// committed contents of the pages about to be overwritten go to NAME-journal beside the
// database, which reaches the disk (fsync, also of the folder) before any page of the
// database is written; then the pages are written and synced, and deleting the journal is
// the moment of commit. A journal found on open means a commit was interrupted: recovery
// (journal_recovery.h) writes its pages back and cuts the file to its old length.
//
// Writes, in this order: the change's random mark into the header page, the change counter
// moved on with it (header_page.h); the journal's header and records (journal_format.h); the
// changed pages at page × page size and the appended ones after them; then the journal is
// removed and the mark zeroed, the counter moved on again. A rollback that ends a journal
// zeroes the mark the same way, so that every change of ours to the file, even one that
// leaves its pages as they were, tells readers elsewhere to start afresh. Reads back, of the database, only the header
// page (for the journal's checksum of it) and, after a rollback, the committed bytes of
// pages whose saved contents already went to the journal file.
//
// A long change (a purge and the import after it) keeps the journal open across many
// writes: the saved contents go to the journal file as they pile up (Spill), so memory holds
// each page once, and nothing reaches the database before the final commit.
// Layout: FORMAT.md, "The rollback journal".
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "engine/jet/format/page_number.h"
#include "engine/jet/storage/file_lock.h"

namespace engine::jet {

class Journal {
 public:
  // `database` is the real file, beside which the journal lies; `name` the file as the user
  // named it (perhaps through a symbolic link), which errors name.
  Journal(std::filesystem::path database, std::filesystem::path name, int fd, size_t page_size,
          uint32_t committed_pages, DatabaseLock& lock);
  ~Journal();

  uint32_t committed_pages() const { return committed_pages_; }
  bool has_changes() const { return !changed_.empty() || appended_; }

  // Call before a page is changed: keeps its committed content the first time (pages the
  // change appended need nothing).
  void BeforeChange(PageNumber page, const uint8_t* committed_content) {
    if (page.value() < committed_pages_ && !saved_[page.value()]) Save(page, committed_content);
  }
  void NoteAppended() { appended_ = true; }

  // Everything until the next Commit or Rollback is one change.
  void BeginLongChange() { long_change_ = true; }
  bool in_long_change() const { return long_change_; }
  // During a long change: moves the saved contents from memory to the journal file.
  void Spill();

  // Makes the current content durable and ends the change. `page_bytes` gives a page's
  // current content, `page_count` the database's length in pages now. Throws engine::Error
  // when the file cannot be written; the database is then as it was at the last commit (or a
  // journal stays behind that the next open rolls back).
  void Commit(const std::function<const uint8_t*(PageNumber)>& page_bytes, uint32_t page_count);

  // Undoes the change in memory: writes the committed contents into the cached pages through
  // `cached_page` and returns the page count to go back to.
  uint32_t Rollback(const std::function<uint8_t*(PageNumber)>& cached_page);

  // True once the cached pages cannot be trusted: a rollback could not read back a page's
  // committed content, a commit that failed half way could not undo what it wrote, or one
  // that wrote everything could not remove its journal. The
  // journal and its mark are then kept, for the next open to undo the change from them, and
  // a commit that failed half way keeps the file from readers elsewhere until then.
  bool needs_recovery() const { return needs_recovery_; }

 private:
  void Save(PageNumber page, const uint8_t* content);
  // Saved contents a long change keeps in memory before it spills them (4 MB of Jet 4 pages).
  static constexpr size_t kOriginalsKept = 1024;
  void StartJournalFile();
  void AppendSaved();
  void WritePages(const std::function<const uint8_t*(PageNumber)>& page_bytes, uint32_t page_count);
  // Removes the journal file; `clear_mark` also takes the mark out of the header page.
  void EndJournalFile(bool clear_mark = true);
  void Reset(uint32_t committed_pages);

  std::filesystem::path database_;
  std::filesystem::path name_;
  int fd_;
  size_t page_size_;
  uint32_t committed_pages_;
  DatabaseLock& lock_;
  bool appended_ = false;
  bool long_change_ = false;
  std::vector<bool> saved_;         // by page: its committed content is kept (memory or journal)
  std::vector<PageNumber> changed_;                             // pages below committed_pages_ changed, in order
  std::map<PageNumber, std::unique_ptr<uint8_t[]>> originals_;  // saved, not yet in the journal file
  int journal_fd_ = -1;             // the journal file while it exists
  uint64_t journal_size_ = 0;
  uint64_t mark_ = 0;
  bool needs_recovery_ = false;
  bool holds_commit_lock_ = false;  // kept after a commit that failed half way
};

}  // namespace engine::jet
