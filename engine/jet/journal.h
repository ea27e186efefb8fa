// The rollback journal that makes every commit all-or-nothing. Changed pages stay in memory
// until commit; at commit the committed contents of the pages about to be overwritten go to
// NAME-journal beside the database, which reaches the disk (fsync, also of the folder) before
// any page of the database is written; then the pages are written and synced, and deleting
// the journal is the moment of commit. A journal found on open means a commit was
// interrupted: its pages are written back and the file cut to its old length.
//
// Journal file: "ARCHJRN1", u32 page size, u32 page count before the commit, u32 number of
// pages saved; per page u32 page number + the page's bytes; u64 FNV-1a checksum of all that.
// A journal whose checksum does not match was cut short while being written, before the
// database was touched, so it is simply removed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace engine::jet {

std::filesystem::path JournalPathFor(const std::filesystem::path& database);

// Rolls back an interrupted commit of `database` (open read-write as `fd`, and locked).
// Returns true when there was one to undo.
bool RecoverFromJournal(const std::filesystem::path& database, int fd);
// True when a journal lies beside the database.
bool HasJournal(const std::filesystem::path& database);

class Journal {
 public:
  Journal(std::filesystem::path database, int fd, size_t page_size, uint32_t committed_pages);

  uint32_t committed_pages() const { return committed_pages_; }
  bool has_changes() const { return !originals_.empty() || appended_; }

  // Call before a page is changed: keeps its committed content the first time (pages the
  // transaction appended need nothing).
  void BeforeChange(uint32_t page, const uint8_t* committed_content) {
    if (page < committed_pages_ && !originals_.count(page)) Save(page, committed_content);
  }
  void NoteAppended() { appended_ = true; }

  // Makes the current content durable. `page_bytes` gives a page's current content,
  // `page_count` the database's length in pages now. Throws engine::Error when the file
  // cannot be written; the database is then as it was at the last commit (or a journal
  // stays behind that the next open rolls back).
  void Commit(const std::function<const uint8_t*(uint32_t)>& page_bytes, uint32_t page_count);

  // Undoes every change since the last commit in memory: writes the saved contents into the
  // cached pages through `cached_page` and returns the page count to go back to.
  uint32_t Rollback(const std::function<uint8_t*(uint32_t)>& cached_page);

 private:
  void Save(uint32_t page, const uint8_t* content);
  void WriteJournalFile();
  void WritePages(const std::function<const uint8_t*(uint32_t)>& page_bytes, uint32_t page_count);

  std::filesystem::path database_;
  int fd_;
  size_t page_size_;
  uint32_t committed_pages_;
  bool appended_ = false;
  std::map<uint32_t, std::unique_ptr<uint8_t[]>> originals_;
};

}  // namespace engine::jet
