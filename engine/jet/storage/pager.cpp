// Page reads and the page cache: see pager.h.
#include "engine/jet/storage/pager.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>

#include "engine/base/bytes.h"
#include "engine/base/error.h"
#include "engine/jet/format/byte_reader.h"
#include "engine/jet/storage/file_lock.h"
#include "engine/jet/storage/journal_recovery.h"

namespace engine::jet {

namespace {

// A setting that makes no sense (a negative number, a typing slip) leaves the cache as it
// is by default, and says so once on the standard error, where the administrator who set it
// looks: the program must still open its files, and a setting silently ignored would mislead.
size_t CleanPagesKept(size_t by_default) {
  const char* setting = std::getenv("ARCHIVI_PAGE_CACHE_PAGES");
  if (!setting || !*setting) return by_default;
  if (const std::optional<size_t> pages = ParsePagesKept(setting)) return *pages;
  static std::once_flag said;
  std::call_once(said, [&] {
    std::fprintf(stderr,
                 "ARCHIVI_PAGE_CACHE_PAGES=\"%s\" ignored: not a whole number of pages from 0 to %zu; the page "
                 "cache keeps %zu\n",
                 setting, kMostPagesKept, by_default);
  });
  return by_default;
}

}  // namespace

Pager::Pager() : PageStore(kJet4Format), cache_(kJet4Format.page_size, CleanPagesKept(kCleanPagesKept)) {}

std::unique_ptr<Pager> Pager::Open(const std::filesystem::path& given, OpenMode mode) {
  std::unique_ptr<Pager> pager(new Pager());
  pager->file_name_ = given.string();
  // The journal and Access's lock file sit beside the real file, not beside a symbolic link
  // to it (the installed program's listini.mdb is one): every program that reaches the file,
  // by whatever name, must find them there.
  std::error_code unresolved;
  std::filesystem::path path = std::filesystem::canonical(given, unresolved);
  if (unresolved) path = given;
  const int flags = (mode == OpenMode::ReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC;
  if (mode == OpenMode::ReadWrite) RefuseIfAccessLockFile(path);
  pager->fd_ = ::open(path.c_str(), flags);
  if (pager->fd_ < 0) {
    const int error = errno;
    const ErrorKind kind = KindOfSystemError(error);
    if (kind == ErrorKind::NotFound) throw Error(pager->file_name_, "the file does not exist", kind);
    if (kind == ErrorKind::ReadOnlyFileSystem) {
      throw Error(pager->file_name_, "the file cannot be opened for writing: its file system is read-only", kind);
    }
    if (kind == ErrorKind::AccessDenied) {
      throw Error(pager->file_name_, mode == OpenMode::ReadWrite ? "the file cannot be opened for writing (permission denied)"
                                                                 : "the file cannot be read (permission denied)",
                  kind);
    }
    throw Error(pager->file_name_, std::string("the file cannot be opened: ") + std::strerror(error), kind);
  }
  struct stat info {};
  if (::fstat(pager->fd_, &info) != 0) pager->ThrowSystemError("the file cannot be read", errno);
  if (!S_ISREG(info.st_mode)) throw Error(pager->file_name_, "not a regular file", ErrorKind::Damaged);
  pager->lock_ = DatabaseLock::For(pager->fd_, given);
  if (mode == OpenMode::ReadWrite) {
    pager->lock_->TakeWriter(pager->fd_);
    pager->writing_ = true;
    // An interrupted change is undone before anything is read.
    if (HasJournal(path)) {
      pager->lock_->BeginCommit();
      try {
        JournalOutcome outcome = RecoverFromJournal(path, pager->fd_);
        if (outcome.kind == JournalOutcome::SetAside) pager->set_aside_journal_ = outcome.set_aside_as;
      } catch (const Error& error) {
        pager->lock_->EndCommit();
        throw error.Within(pager->file_name_);  // the file as the user named it, not its real path
      } catch (...) {
        pager->lock_->EndCommit();
        throw;
      }
      pager->lock_->EndCommit();
    }
  } else {
    // The open is a read of its own.
    pager->lock_->AddReader();
    pager->read_depth_ = 1;
    // A journal while another program holds the writer lock belongs to its change under way
    // (the file holds the last commit meanwhile); one with no writer was left by a crash.
    if (HasJournal(path) && !pager->lock_->writer_here() && !pager->lock_->WriterElsewhere()) {
      pager->UndoJournalForReading(path);
    }
  }
  if (::fstat(pager->fd_, &info) != 0) pager->ThrowSystemError("the file cannot be read", errno);
  pager->Start(static_cast<uint64_t>(info.st_size));
  if (mode == OpenMode::ReadWrite) {
    pager->journal_ =
        std::make_unique<Journal>(path, given, pager->fd_, pager->page_size(), pager->page_count_, *pager->lock_);
  } else {
    pager->watch_for_changes_ = true;
    pager->path_ = path;
    pager->NoteFileState(info);
    pager->EndRead();
  }
  return pager;
}

void Pager::NoteFileState(const struct stat& info) {
  seen_size_ = static_cast<uint64_t>(info.st_size);
  seen_mtime_seconds_ = info.st_mtim.tv_sec;
  seen_mtime_nanoseconds_ = info.st_mtim.tv_nsec;
  seen_change_counter_ = ChangeCounterIn(fd_);
}

void Pager::BeginRead() {
  if (!watch_for_changes_) return;
  if (read_depth_ > 0) {
    ++read_depth_;
    return;
  }
  lock_->AddReader();
  read_depth_ = 1;
  try {
    CatchUp(path_);
  } catch (...) {
    EndRead();
    throw;
  }
}

void Pager::EndRead() {
  if (!watch_for_changes_ || read_depth_ == 0) return;
  if (--read_depth_ == 0) lock_->RemoveReader();
}

// Commits elsewhere change the file only while no read of ours is under way, and each moves
// the change counter on: at the start of a read, the file is either as last seen or whole
// and new (a crash's journal undone first). A file changed without a commit of ours (a copy
// under way, a file cut short) is refused, as inside a read.
void Pager::CatchUp(const std::filesystem::path& path) {
  bool undone = false;
  if (HasJournal(path) && !lock_->writer_here() && !lock_->WriterElsewhere()) {
    UndoJournalForReading(path);
    undone = true;
  }
  struct stat info {};
  if (::fstat(fd_, &info) != 0) ThrowSystemError("the file cannot be read", errno);
  const bool committed = ChangeCounterIn(fd_) != seen_change_counter_;
  if (!undone && !committed) {
    RefuseIfChanged(0);
    return;
  }
  cache_.Clear();
  page_count_ = 0;  // until the new header is read
  Start(static_cast<uint64_t>(info.st_size));
  NoteFileState(info);
  ++generation_;
}

std::unique_ptr<Pager> Pager::FromBytes(std::vector<uint8_t> bytes, std::string name) {
  std::unique_ptr<Pager> pager(new Pager());
  pager->file_name_ = std::move(name);
  pager->memory_ = std::move(bytes);
  pager->Start(pager->memory_.size());
  // Never written: unencrypted pages are read in place.
  if (pager->header().encoding_key == 0) pager->in_place_ = pager->memory_.data();
  return pager;
}

// Reading a half-written file would show a mix of old and new pages: the interrupted change
// is undone first, which needs write access for a moment.
void Pager::UndoJournalForReading(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  const int open_error = errno;
  if (fd < 0) {
    // On a read-only disk, say what lies beside the file rather than what could not be done.
    switch (InspectJournal(path, fd_)) {
      case JournalFinding::None:
      case JournalFinding::Empty: return;  // nothing to undo
      case JournalFinding::CannotApply: ThrowForeignJournal(path, open_error);
      case JournalFinding::Applies: break;
    }
  }
  try {
    if (fd < 0) ThrowSystemError("the file cannot be opened for writing", open_error);
    lock_->TakeWriter(fd);
    try {
      lock_->BeginCommit();
      JournalOutcome outcome = RecoverFromJournal(path, fd);
      if (outcome.kind == JournalOutcome::SetAside) set_aside_journal_ = outcome.set_aside_as;
    } catch (...) {
      lock_->EndCommit();
      lock_->ReleaseWriter();
      throw;
    }
    lock_->EndCommit();
    lock_->ReleaseWriter();
  } catch (const Error& error) {
    if (fd >= 0) ::close(fd);
    throw error.Within(file_name_, "an interrupted write must be undone before the database can be read, and that "
                                   "failed: ");
  }
  ::close(fd);
}

Pager::~Pager() {
  // Closing the file commits what was written (a failure leaves the last commit intact),
  // except a long change, which only its own Commit may end.
  if (in_long_change()) {
    Rollback();
  } else if (has_uncommitted_changes()) {
    try {
      Commit();
    } catch (const Error&) {
    }
  }
  journal_.reset();
  if (lock_) {
    if (read_depth_ > 0) lock_->RemoveReader();
    if (writing_) lock_->ReleaseWriter();
  }
  if (fd_ >= 0) ::close(fd_);
}

void Pager::Start(uint64_t file_size) {
  if (file_size == 0) throw Error(file_name_, "the file is empty", ErrorKind::Damaged);
  if (file_size < kHeaderBytesNeeded) {
    throw Error(file_name_, "the file is too short to be an Access database", ErrorKind::Damaged);
  }
  uint8_t first[kHeaderBytesNeeded];
  if (fd_ >= 0) {
    ssize_t got = ::pread(fd_, first, sizeof first, 0);
    if (got < 0) ThrowSystemError("the file cannot be read", errno);
    if (got != static_cast<ssize_t>(sizeof first)) {
      throw Error(file_name_, "the file became shorter while it was opened", ErrorKind::FileChanged);
    }
  } else {
    std::memcpy(first, memory_.data(), sizeof first);
  }
  set_header(DecodeHeaderPage(first, sizeof first, file_name_));
  if (header().has_password) {
    throw Error(file_name_, "the database is protected by a password; remove the password in Access and try again",
                ErrorKind::Protected);
  }
  const uint64_t pages = file_size / page_size();
  if (pages < 3) {
    throw Error(file_name_, "the file is too short: the database is truncated or damaged", ErrorKind::Damaged);
  }
  if (pages > 0xFFFFFF) throw Error(file_name_, "the file is too large for an Access database", ErrorKind::TooLarge);
  page_count_ = static_cast<uint32_t>(pages);
  cache_.Resize(page_count_);
}

void Pager::ThrowSystemError(const std::string& what, int error_number) const {
  throw Error(file_name_, what + ": " + std::strerror(error_number), KindOfSystemError(error_number));
}

void Pager::FetchRun(uint32_t first, uint32_t count, uint8_t* const* into) {
  const size_t size = page_size();
  const uint64_t offset = static_cast<uint64_t>(first) * size;
  if (fd_ >= 0) {
    iovec parts[kReadAheadPages];
    for (uint32_t i = 0; i < count; ++i) parts[i] = {into[i], size};
    iovec* next = parts;
    uint32_t left = count;
    uint64_t at = offset;
    while (left > 0) {
      const ssize_t got = ::preadv(fd_, next, static_cast<int>(left), static_cast<off_t>(at));
      if (got < 0 && errno == EINTR) continue;
      const uint32_t page = static_cast<uint32_t>(at / size);
      if (got < 0) ThrowSystemError("the file cannot be read at page " + std::to_string(page), errno);
      if (got == 0) Changed(page);  // the file ends before a page it had when opened
      at += static_cast<uint64_t>(got);
      for (size_t done = static_cast<size_t>(got); done > 0;) {
        const size_t step = std::min(done, next->iov_len);
        next->iov_base = static_cast<uint8_t*>(next->iov_base) + step;
        next->iov_len -= step;
        done -= step;
        if (next->iov_len == 0) ++next, --left;
      }
    }
    RefuseIfChanged(first);
  } else {
    for (uint32_t i = 0; i < count; ++i) std::memcpy(into[i], memory_.data() + offset + i * size, size);
  }
  if (header().encoding_key == 0) return;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t page = first + i;
    if (page == 0) continue;
    const uint32_t k = header().encoding_key ^ page;
    uint8_t key[4];
    PutU32(key, k);
    Rc4Apply(key, 4, into[i], size);
  }
}

// Pages read after another program changed the file may mix its old and new content.
void Pager::RefuseIfChanged(uint32_t page) const {
  if (!watch_for_changes_) return;
  struct stat now {};
  if (::fstat(fd_, &now) != 0) ThrowSystemError("the file cannot be read", errno);
  if (static_cast<uint64_t>(now.st_size) != seen_size_ || now.st_mtim.tv_sec != seen_mtime_seconds_ ||
      now.st_mtim.tv_nsec != seen_mtime_nanoseconds_) {
    Changed(page);
  }
}

void Pager::Changed(uint32_t page) const {
  throw Error(file_name_,
              "the file was cut short or changed by another program while it was being read (at page " +
                  std::to_string(page) + ")",
              ErrorKind::FileChanged);
}

PageRef Pager::ReadAhead(uint32_t page) {
  // Scans visit a table's pages in ascending order, so a read that goes on from the last one
  // brings in the pages that follow it as well, in one call: up to kReadAheadPages in all,
  // and only as far as the first page already cached, which is never read over (it may be
  // changed). A read elsewhere (a row an index points at) takes its page alone: pages read
  // ahead there would mostly be evicted unused.
  const uint32_t wanted = page == next_in_sequence_ ? kReadAheadPages : 1;
  uint32_t count = 1;
  while (count < wanted && page + count < page_count_ && !cache_.Has(page + count)) ++count;
  next_in_sequence_ = page + count;
  std::unique_ptr<uint8_t[]> buffers[kReadAheadPages];
  uint8_t* into[kReadAheadPages];
  for (uint32_t i = 0; i < count; ++i) {
    buffers[i] = cache_.NewBuffer();
    into[i] = buffers[i].get();
  }
  FetchRun(page, count, into);
  // The page asked for goes in last, so that the read-ahead pages cannot push it out.
  for (uint32_t i = count; i-- > 1;) cache_.Add(page + i, std::move(buffers[i]), false);
  return cache_.Add(page, std::move(buffers[0]), false);
}

void Pager::RefuseIfNeedsRecovery() const {
  if (!needs_recovery_) return;
  throw Error(file_name_,
              "a failed change could not be undone in memory (the file could not be read back); the database "
              "must be opened again, which undoes the change from its journal",
              ErrorKind::Io);
}

PageRef Pager::ReadPage(PageNumber page) {
  const uint32_t index = page.value();
  RefuseIfNeedsRecovery();
  if (index >= page_count_) {
    Damaged("page " + std::to_string(index) + " is past the end of the file");
  }
  if (in_place_) return PageRef(in_place_ + static_cast<size_t>(index) * page_size());
  if (PageRef cached = cache_.Get(index)) return cached;
  if (watch_for_changes_ && read_depth_ == 0) {
    // A page wanted outside any read: fetched under the lock, from the file as last seen.
    lock_->AddReader();
    read_depth_ = 1;
    try {
      RefuseIfChanged(index);
      PageRef read = ReadAhead(index);
      EndRead();
      return read;
    } catch (...) {
      EndRead();
      throw;
    }
  }
  return ReadAhead(index);
}

WritablePage Pager::WritePage(PageNumber page) {
  if (!journal_) throw Error(file_name_, "the database is open read-only", ErrorKind::ReadOnly);
  RefuseIfNeedsRecovery();
  if (header().encoding_key != 0) throw Error(file_name_, "encrypted databases cannot be written", ErrorKind::Protected);
  if (page.is_none()) throw Error(file_name_, "the header page is never written", ErrorKind::Other);
  WritablePage writable(ReadPage(page));
  journal_->BeforeChange(page, writable.data());
  cache_.MarkDirty(page.value());
  return writable;
}

PageNumber Pager::AppendPage() {
  if (!journal_) throw Error(file_name_, "the database is open read-only", ErrorKind::ReadOnly);
  RefuseIfNeedsRecovery();
  if (header().encoding_key != 0) throw Error(file_name_, "encrypted databases cannot be written", ErrorKind::Protected);
  if (page_count_ >= 0xFFFFFF) {
    throw Error(file_name_, "the database has reached Jet's size limit", ErrorKind::TooLarge);
  }
  std::unique_ptr<uint8_t[]> buffer = cache_.NewBuffer();
  std::memset(buffer.get(), 0, page_size());
  (void)cache_.Add(page_count_, std::move(buffer), true);
  journal_->NoteAppended();
  return PageNumber(page_count_++);
}

void Pager::Commit() {
  if (!journal_) return;
  RefuseIfNeedsRecovery();
  try {
    journal_->Commit([this](PageNumber page) { return static_cast<const uint8_t*>(cache_.bytes(page.value())); },
                     page_count_);
    cache_.MarkAllClean();
  } catch (const Error&) {
    // The file is as it was at the last commit; make the cache agree with it.
    Rollback();
    throw;
  }
}

void Pager::BeginLongChange() {
  if (!journal_) throw Error(file_name_, "the database is open read-only", ErrorKind::ReadOnly);
  RefuseIfNeedsRecovery();
  // Nothing is written until the final commit, which will wait for other programs' reads to
  // end: one under way now is waited for here, so that a change that could not be committed
  // is refused before it begins.
  lock_->BeginCommit();
  lock_->EndCommit();
  journal_->BeginLongChange();
}

void Pager::Spill() {
  RefuseIfNeedsRecovery();
  if (journal_) journal_->Spill();
}

void Pager::Rollback() {
  if (!journal_) return;
  // Changed pages are all in memory (dirty pages never leave it): the journal puts their
  // committed contents back; appended pages are dropped.
  page_count_ = journal_->Rollback([this](PageNumber page) { return cache_.bytes(page.value()); });
  cache_.Resize(page_count_);
  cache_.MarkAllClean();
  needs_recovery_ = journal_->needs_recovery();
}

}  // namespace engine::jet
