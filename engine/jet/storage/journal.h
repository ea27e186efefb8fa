// The rollback journal that makes every change all-or-nothing. Changed pages stay in memory
// until commit; the committed contents of the pages about to be overwritten go to
// NAME-journal beside the database, which reaches the disk (fsync, also of the folder) before
// any page of the database is written; then the pages are written and synced, and deleting
// the journal is the moment of commit. A journal found on open means a commit was
// interrupted: its pages are written back and the file cut to its old length.
//
// A journal names its database: its header holds the page size, the file's length and a
// checksum of the header page before the change, and a random mark that is also written into
// the header page while the change is open. A journal that does not match the file beside it
// (another copy's, a file restored or made anew since, or one whose header is damaged) is
// never applied: it is set aside under another name. The bytes are described in FORMAT.md, "The rollback journal".
//
// A long change (a purge and the import after it) keeps the journal open across many
// writes: the saved contents go to the journal file as they pile up (Spill), so memory holds
// each page once, and nothing reaches the database before the final commit.
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

std::filesystem::path JournalPathFor(const std::filesystem::path& database);

// What an open found beside the database.
struct JournalOutcome {
  enum Kind { None, RolledBack, Removed, SetAside } kind = None;
  std::filesystem::path set_aside_as;  // SetAside: the journal's new name
};

// One read of the journal's bytes: all `size` of them at `offset` (Data), fewer because the
// file ends first (End), or a refusal of the disk (Error, errno set). Recovery reads the
// journal through this alone, so that tests can make the disk fail at a chosen byte.
enum class JournalRead { Data, End, Error };
using JournalReader = std::function<JournalRead(int fd, uint8_t* into, size_t size, uint64_t offset)>;
JournalRead ReadJournalBytes(int fd, uint8_t* into, size_t size, uint64_t offset);

// Undoes an interrupted change of `database` (open read-write as `fd`; the caller holds the
// writer lock and the commit lock): writes back every record up to the first that is cut
// short or does not check, cuts the file to its old length and removes the journal. An empty
// journal is removed; one that cannot be applied (another file's, or with a header that does
// not check) is set aside, never deleted. A journal that cannot be read stops everything
// with ErrorKind::JournalUnreadable: nothing is written, cut or removed, and the next open
// that reads it restores the file.
JournalOutcome RecoverFromJournal(const std::filesystem::path& database, int fd,
                                  const JournalReader& read = ReadJournalBytes);

// What the journal beside `database` (open as `fd`, reading is enough) would lead recovery
// to do; reads only, and throws as RecoverFromJournal does when the journal cannot be read.
enum class JournalFinding { None, Empty, Applies, CannotApply };
JournalFinding InspectJournal(const std::filesystem::path& database, int fd,
                              const JournalReader& read = ReadJournalBytes);

// Throws ErrorKind::ForeignJournal: a journal that cannot be applied lies beside `database`,
// and `error` (an errno) kept it from being set aside.
[[noreturn]] void ThrowForeignJournal(const std::filesystem::path& database, int error);

// True when a journal lies beside the database.
bool HasJournal(const std::filesystem::path& database);
// Where the header page keeps the change counter: 8 bytes beside the journal's mark.
inline constexpr size_t kChangeCounterOffset = 0x408;
// The database's change counter, which every commit of ours moves on (0 in a file we never
// wrote, or when it cannot be read): with the file's size and modification time it tells a
// reader coming back whether another program committed meanwhile.
uint64_t ChangeCounterIn(int fd);

class Journal {
 public:
  Journal(std::filesystem::path database, int fd, size_t page_size, uint32_t committed_pages, DatabaseLock& lock);
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
};

}  // namespace engine::jet
