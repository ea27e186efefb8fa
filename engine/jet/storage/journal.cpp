// The running change and its commit: see journal.h.
#include "engine/jet/storage/journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <string>

#include "engine/base/error.h"
#include "engine/jet/storage/file_io.h"
#include "engine/jet/storage/header_page.h"
#include "engine/jet/storage/journal_format.h"
#include "engine/jet/storage/journal_recovery.h"

namespace engine::jet {
namespace {

// Writes the pages first .. first + count - 1, which follow each other in the file, a batch a
// call (a commit appends thousands of pages at the end of the file).
void WritePageRun(int fd, const std::function<const uint8_t*(PageNumber)>& page_bytes, uint32_t first,
                  uint32_t count, size_t page_size, const std::filesystem::path& database, const char* what) {
  constexpr uint32_t kBatch = 64;
  for (uint32_t done = 0; done < count;) {
    const uint32_t batch = std::min(kBatch, count - done);
    iovec parts[kBatch];
    for (uint32_t i = 0; i < batch; ++i) {
      parts[i] = {const_cast<uint8_t*>(page_bytes(PageNumber(first + done + i))), page_size};
    }
    const auto offset = static_cast<off_t>(FileOffset(PageNumber(first + done), page_size));
    const ssize_t written = pwritev(fd, parts, static_cast<int>(batch), offset);
    if (written < 0) {
      if (errno == EINTR) continue;
      ThrowFileError(database, what, errno);
    }
    // A short write: the rest of the batch page by page, which reports why it stopped.
    size_t left = static_cast<size_t>(written);
    for (uint32_t i = 0; i < batch; ++i) {
      if (left >= page_size) {
        left -= page_size;
        continue;
      }
      WriteAt(fd, static_cast<const uint8_t*>(parts[i].iov_base) + left, page_size - left,
              offset + static_cast<off_t>(i * page_size + left), database, what);
      left = 0;
    }
    done += batch;
  }
}

// Whole reads of the database; false when the file ends first or cannot be read (the
// writer's own reads, whose failure the write that follows reports).
bool ReadAll(int fd, uint8_t* data, size_t size, off_t offset) {
  return ReadAt(fd, data, size, static_cast<uint64_t>(offset)) == FileRead::Data;
}

}  // namespace

Journal::Journal(std::filesystem::path database, std::filesystem::path name, int fd, size_t page_size,
                 uint32_t committed_pages, DatabaseLock& lock)
    : database_(std::move(database)),
      name_(std::move(name)),
      fd_(fd),
      page_size_(page_size),
      committed_pages_(committed_pages),
      lock_(lock) {
  saved_.assign(committed_pages_, false);
}

Journal::~Journal() {
  if (journal_fd_ >= 0) close(journal_fd_);
  if (holds_commit_lock_) lock_.EndCommit();
}

void Journal::Save(PageNumber page, const uint8_t* content) {
  auto copy = std::make_unique<uint8_t[]>(page_size_);
  std::memcpy(copy.get(), content, page_size_);
  originals_.emplace(page, std::move(copy));
  changed_.push_back(page);
  saved_[page.value()] = true;
  // A long change that touches many pages at once (emptying a large table) would otherwise
  // hold a second copy of each until the next timed spill.
  if (originals_.size() >= kOriginalsKept) Spill();
}

void Journal::StartJournalFile() {
  struct stat info {};
  if (fstat(fd_, &info) != 0) ThrowFileError(name_, "cannot read the database", errno);
  // The mark reaches the header page before the journal exists, so every complete journal
  // of ours finds its mark there.
  static thread_local std::mt19937_64 random{std::random_device{}()};
  do {
    mark_ = random();
  } while (mark_ == 0);
  WriteJournalMark(fd_, mark_, name_);
  std::vector<uint8_t> header_page(page_size_);
  if (!ReadAll(fd_, header_page.data(), page_size_, 0)) ThrowFileError(name_, "cannot read the database", EIO);

  const std::vector<uint8_t> header = EncodeJournalHeader({static_cast<uint32_t>(page_size_), committed_pages_,
                                                           static_cast<uint64_t>(info.st_size),
                                                           HeaderPageChecksum(header_page.data(), page_size_), mark_});

  const std::filesystem::path path = JournalPathFor(database_);
  // Never over another journal: one left by a write that could not be undone must wait for
  // the next open.
  journal_fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (journal_fd_ < 0) {
    const int error = errno;
    ClearJournalMark(fd_);
    ThrowFileError(name_, "cannot create the journal " + path.filename().string(), error);
  }
  journal_size_ = 0;
  try {
    WriteAt(journal_fd_, header.data(), header.size(), 0, name_, "cannot write the journal");
  } catch (...) {
    EndJournalFile();
    throw;
  }
  journal_size_ = header.size();
}

void Journal::AppendSaved() {
  const bool first = journal_size_ == kJournalHeaderSize;
  try {
    std::vector<uint8_t> batch;
    for (auto entry = originals_.begin(); entry != originals_.end();) {
      AppendJournalRecord(batch, mark_, entry->first, entry->second.get(), page_size_);
      ++entry;
      if (batch.size() >= 64 * JournalRecordSize(page_size_) || entry == originals_.end()) {
        WriteAt(journal_fd_, batch.data(), batch.size(), static_cast<off_t>(journal_size_), name_,
                "cannot write the journal");
        journal_size_ += batch.size();
        batch.clear();
      }
    }
    SyncFile(journal_fd_, name_, "cannot write the journal");
  } catch (...) {
    if (first) EndJournalFile();
    throw;
  }
  if (first) SyncFolderOf(database_);
  originals_.clear();
}

void Journal::Spill() {
  if (!long_change_ || originals_.empty()) return;
  if (journal_fd_ < 0) {
    // The mark changes the file: not under a reader's feet. While one has the file open, the
    // saved pages wait in memory for the next try.
    if (!lock_.TryBeginCommit()) return;
    try {
      StartJournalFile();
      AppendSaved();
    } catch (...) {
      lock_.EndCommit();
      throw;
    }
    lock_.EndCommit();
    return;
  }
  AppendSaved();
}

void Journal::WritePages(const std::function<const uint8_t*(PageNumber)>& page_bytes, uint32_t page_count) {
  for (PageNumber page : changed_) {
    WriteAt(fd_, page_bytes(page), page_size_, static_cast<off_t>(FileOffset(page, page_size_)), name_,
             "cannot write the database");
  }
  if (page_count > committed_pages_) {
    WritePageRun(fd_, page_bytes, committed_pages_, page_count - committed_pages_, page_size_, name_,
                 "cannot write the database");
  }
  SyncFile(fd_, name_, "cannot write the database");
}

void Journal::EndJournalFile(bool clear_mark) {
  if (journal_fd_ < 0) return;
  close(journal_fd_);
  journal_fd_ = -1;
  journal_size_ = 0;
  const bool removed = unlink(JournalPathFor(database_).c_str()) == 0 || errno == ENOENT;
  const int error = errno;
  SyncFolderOf(database_);
  if (!removed) ThrowFileError(name_, "cannot remove the journal", error);
  if (clear_mark) ClearJournalMark(fd_);
}

void Journal::Reset(uint32_t committed_pages) {
  committed_pages_ = committed_pages;
  saved_.assign(committed_pages_, false);
  changed_.clear();
  originals_.clear();
  appended_ = false;
  long_change_ = false;
  mark_ = 0;
}

void Journal::Commit(const std::function<const uint8_t*(PageNumber)>& page_bytes, uint32_t page_count) {
  if (!has_changes()) {
    EndJournalFile();
    Reset(committed_pages_);
    return;
  }
  // Other programs' readers must not see the pages change under them.
  lock_.BeginCommit();
  try {
    // With nothing to overwrite (only new pages), a crash can at worst leave extra pages past
    // the old end; the journal still records the old length so they are cut off again.
    if (journal_fd_ < 0) StartJournalFile();
    AppendSaved();
    try {
      WritePages(page_bytes, page_count);
    } catch (const Error&) {
      // Put the old contents back at once if we can; otherwise the journal stays and the next
      // open does it.
      close(journal_fd_);
      journal_fd_ = -1;
      try {
        RecoverFromJournal(database_, fd_);
      } catch (const Error&) {
        // The file is half written: readers elsewhere keep off it, and nothing here reads
        // it, until the next open undoes the change from the journal.
        needs_recovery_ = true;
        holds_commit_lock_ = true;
      }
      throw;
    }
    try {
      EndJournalFile();  // moves the change counter on, with the mark
    } catch (const Error&) {
      // The new pages are in the file, and the journal that undoes them stays: the next
      // open does so; until then neither we nor readers elsewhere may take them for a commit.
      needs_recovery_ = true;
      holds_commit_lock_ = true;
      throw;
    }
  } catch (...) {
    if (!holds_commit_lock_) lock_.EndCommit();
    throw;
  }
  lock_.EndCommit();
  Reset(page_count);
}

uint32_t Journal::Rollback(const std::function<uint8_t*(PageNumber)>& cached_page) {
  for (PageNumber page : changed_) {
    if (needs_recovery_) break;  // nothing in memory is to be trusted any more
    auto original = originals_.find(page);
    if (original != originals_.end()) {
      std::memcpy(cached_page(page), original->second.get(), page_size_);
    } else if (!ReadAll(fd_, cached_page(page), page_size_, static_cast<off_t>(FileOffset(page, page_size_)))) {
      // (Moved to the journal file, the content is read back from the database, which
      // nothing of the change has reached.) A page that cannot be read back is not guessed:
      // the journal, which holds it too, stays for the next open.
      needs_recovery_ = true;
    }
  }
  if (needs_recovery_) {
    if (journal_fd_ >= 0) close(journal_fd_);
    journal_fd_ = -1;
    const uint32_t pages = committed_pages_;
    Reset(pages);
    return pages;
  }
  // The mark is cleared only when no reader elsewhere would see the file change; one left
  // behind is harmless, as no journal carries it any more.
  const bool may_change_file = journal_fd_ >= 0 && lock_.TryBeginCommit();
  try {
    EndJournalFile(may_change_file);
  } catch (const Error&) {
    // A journal left behind is undone by the next open, which finds the database unchanged.
  }
  if (may_change_file) lock_.EndCommit();
  const uint32_t pages = committed_pages_;
  Reset(pages);
  return pages;
}

}  // namespace engine::jet
