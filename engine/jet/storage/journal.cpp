#include "engine/jet/storage/journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <string>

#include "engine/bytes.h"
#include "engine/error.h"

namespace engine::jet {
namespace {

constexpr char kMagic[8] = {'A', 'R', 'C', 'H', 'J', 'R', 'N', '2'};
// Header: magic, u32 page size, u32 pages before, u64 file size before, u64 header-page
// checksum, u64 mark = 40 bytes, then a u64 checksum of those 40.
constexpr size_t kHeaderFields = 8 + 4 + 4 + 8 + 8 + 8;
constexpr size_t kHeaderSize = kHeaderFields + 8;
// A record: u32 page number, the page, u64 checksum (seeded with the mark).
constexpr size_t kRecordOverhead = 4 + 8;

// Where the header page carries the mark of an open change: 8 bytes that every Jet 3 and
// Jet 4 file leaves zero (past the masked region and the version string, well inside 2 KB).
constexpr size_t kMarkOffset = 0x400;
constexpr size_t kMarkSize = 8;
static_assert(kChangeCounterOffset == kMarkOffset + kMarkSize, "the change counter follows the mark");
constexpr size_t kVersionOffset = 0x14;

constexpr uint64_t kFnvStart = 0xcbf29ce484222325ULL;

uint64_t Fnv1a(const uint8_t* data, size_t size, uint64_t hash = kFnvStart) {
  for (size_t i = 0; i < size; ++i) {
    hash ^= data[i];
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

void Append32(std::vector<uint8_t>& out, uint32_t v) {
  out.resize(out.size() + 4);
  PutU32(out.data() + out.size() - 4, v);
}
void Append64(std::vector<uint8_t>& out, uint64_t v) {
  out.resize(out.size() + 8);
  PutU64(out.data() + out.size() - 8, v);
}

uint64_t RecordChecksum(uint64_t mark, PageNumber page, const uint8_t* bytes, size_t page_size) {
  std::vector<uint8_t> prefix;
  Append64(prefix, mark);
  Append32(prefix, page.value());
  return Fnv1a(bytes, page_size, Fnv1a(prefix.data(), prefix.size()));
}

[[noreturn]] void Fail(const std::filesystem::path& database, const std::string& what, int error) {
  const ErrorKind kind = KindOfSystemError(error);
  std::string reason = what + ": " + std::strerror(error);
  if (kind == ErrorKind::DiskFull) reason = what + ": the disk is full";
  if (kind == ErrorKind::ReadOnlyFileSystem) reason = what + ": the file system is read-only";
  if (kind == ErrorKind::AccessDenied) reason = what + ": the file or folder is read-only";
  throw Error(database.string(), reason, kind);
}

void WriteAll(int fd, const uint8_t* data, size_t size, off_t offset, const std::filesystem::path& database,
              const char* what) {
  while (size > 0) {
    const ssize_t n = pwrite(fd, data, size, offset);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(database, what, errno);
    }
    data += n;
    size -= static_cast<size_t>(n);
    offset += n;
  }
}

// Whole reads; false when the file ends first.
bool ReadAll(int fd, uint8_t* data, size_t size, off_t offset) {
  while (size > 0) {
    const ssize_t n = pread(fd, data, size, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
    offset += n;
  }
  return true;
}

void Sync(int fd, const std::filesystem::path& database, const char* what) {
  if (fsync(fd) != 0) Fail(database, what, errno);
}

// The folder entry of a new or removed journal must reach the disk too.
void SyncFolder(const std::filesystem::path& database) {
  std::filesystem::path folder = database.parent_path();
  if (folder.empty()) folder = ".";
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// The checksum of the header page as it was before the change: the mark counts as zeros.
bool HeaderPageChecksum(int fd, size_t page_size, uint64_t* checksum) {
  if (page_size < kMarkOffset + kMarkSize) return false;
  std::vector<uint8_t> page(page_size);
  if (!ReadAll(fd, page.data(), page_size, 0)) return false;
  std::memset(page.data() + kMarkOffset, 0, kMarkSize);
  *checksum = Fnv1a(page.data(), page.size());
  return true;
}

uint64_t MarkIn(int fd) {
  uint8_t bytes[kMarkSize];
  return ReadAll(fd, bytes, sizeof bytes, kMarkOffset) ? GetU64(bytes) : 0;
}

void ClearMark(int fd) {
  const uint8_t zeros[kMarkSize] = {};
  if (pwrite(fd, zeros, sizeof zeros, kMarkOffset) < 0) {
    // Harmless if it stays: no journal carries it any more.
  }
}

// Moves the change counter on once a commit is complete (under the commit lock, after the
// journal is gone, so that a journal's checksum of the header page never counts it). Not
// synced: after a crash the file's size and modification time still tell of the change.
void CountChange(int fd) {
  uint8_t bytes[8];
  PutU64(bytes, ChangeCounterIn(fd) + 1);
  if (pwrite(fd, bytes, sizeof bytes, kChangeCounterOffset) < 0) {
    // Readers then go by the file's size and modification time alone.
  }
}

// Renames a journal that belongs to some other file, never over an earlier one.
std::filesystem::path SetAside(const std::filesystem::path& database, const std::filesystem::path& journal) {
  for (int n = 1;; ++n) {
    std::filesystem::path target = journal.string() + ".not-applied" + (n == 1 ? "" : "-" + std::to_string(n));
    std::error_code error;
    if (std::filesystem::exists(target, error)) continue;
    if (rename(journal.c_str(), target.c_str()) != 0) Fail(database, "cannot set aside a journal that is not this database's", errno);
    SyncFolder(database);
    return target;
  }
}

class FileCloser {
 public:
  explicit FileCloser(int fd) : fd_(fd) {}
  ~FileCloser() { close(fd_); }

 private:
  int fd_;
};

}  // namespace

std::filesystem::path JournalPathFor(const std::filesystem::path& database) {
  return std::filesystem::path(database.string() + "-journal");
}

uint64_t ChangeCounterIn(int fd) {
  uint8_t bytes[8];
  return ReadAll(fd, bytes, sizeof bytes, kChangeCounterOffset) ? GetU64(bytes) : 0;
}

bool HasJournal(const std::filesystem::path& database) {
  std::error_code error;
  return std::filesystem::exists(JournalPathFor(database), error);
}

JournalOutcome RecoverFromJournal(const std::filesystem::path& database, int fd) {
  const std::filesystem::path journal = JournalPathFor(database);
  const int in = open(journal.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return {};
  FileCloser closer(in);
  const char* undo = "cannot undo an interrupted write";

  uint8_t header[kHeaderSize];
  struct stat info {};
  fstat(in, &info);
  const size_t length = static_cast<size_t>(info.st_size);
  const bool has_magic = length >= sizeof kMagic && ReadAll(in, header, sizeof kMagic, 0);
  if (has_magic && std::memcmp(header, kMagic, sizeof kMagic) != 0) {
    return {JournalOutcome::SetAside, SetAside(database, journal)};  // not a journal we can read
  }
  if (!has_magic || length < kHeaderSize || !ReadAll(in, header, kHeaderSize, 0) ||
      GetU64(header + kHeaderFields) != Fnv1a(header, kHeaderFields)) {
    // Cut short while being written, before the database was touched: drop it.
    if (unlink(journal.c_str()) != 0 && errno != ENOENT) Fail(database, "cannot remove the journal", errno);
    SyncFolder(database);
    return {JournalOutcome::CutShort, {}};
  }
  const uint32_t page_size = GetU32(header + 8);
  const uint64_t size_before = GetU64(header + 16);
  const uint64_t header_page_checksum = GetU64(header + 24);
  const uint64_t mark = GetU64(header + 32);

  uint8_t version = 0;
  uint64_t checksum = 0;
  const bool matches = ReadAll(fd, &version, 1, kVersionOffset) && page_size == (version == 0 ? 2048u : 4096u) &&
                       mark != 0 && MarkIn(fd) == mark && HeaderPageChecksum(fd, page_size, &checksum) &&
                       checksum == header_page_checksum;
  if (!matches) return {JournalOutcome::SetAside, SetAside(database, journal)};

  // Records were synced before the pages they protect were written, so the first one that is
  // cut short or does not check marks the end of what needs undoing.
  std::vector<uint8_t> record(kRecordOverhead + page_size);
  for (off_t at = kHeaderSize; ReadAll(in, record.data(), record.size(), at); at += static_cast<off_t>(record.size())) {
    const PageNumber page = GetPageNumber(record.data());
    const uint8_t* bytes = record.data() + 4;
    if (GetU64(bytes + page_size) != RecordChecksum(mark, page, bytes, page_size)) break;
    WriteAll(fd, bytes, page_size, static_cast<off_t>(FileOffset(page, page_size)), database, undo);
  }
  if (ftruncate(fd, static_cast<off_t>(size_before)) != 0) Fail(database, undo, errno);
  Sync(fd, database, undo);
  if (unlink(journal.c_str()) != 0 && errno != ENOENT) Fail(database, "cannot remove the journal", errno);
  SyncFolder(database);
  ClearMark(fd);
  return {JournalOutcome::RolledBack, {}};
}

Journal::Journal(std::filesystem::path database, int fd, size_t page_size, uint32_t committed_pages,
                 DatabaseLock& lock)
    : database_(std::move(database)), fd_(fd), page_size_(page_size), committed_pages_(committed_pages), lock_(lock) {
  saved_.assign(committed_pages_, false);
}

Journal::~Journal() {
  if (journal_fd_ >= 0) close(journal_fd_);
}

void Journal::Save(PageNumber page, const uint8_t* content) {
  auto copy = std::make_unique<uint8_t[]>(page_size_);
  std::memcpy(copy.get(), content, page_size_);
  originals_.emplace(page, std::move(copy));
  changed_.push_back(page);
  saved_[page.value()] = true;
}

void Journal::StartJournalFile() {
  struct stat info {};
  if (fstat(fd_, &info) != 0) Fail(database_, "cannot read the database", errno);
  // The mark reaches the header page before the journal exists, so every complete journal
  // of ours finds its mark there.
  static thread_local std::mt19937_64 random{std::random_device{}()};
  do {
    mark_ = random();
  } while (mark_ == 0);
  std::vector<uint8_t> mark;
  Append64(mark, mark_);
  WriteAll(fd_, mark.data(), mark.size(), kMarkOffset, database_, "cannot write the database");
  if (fdatasync(fd_) != 0) Fail(database_, "cannot write the database", errno);
  uint64_t checksum = 0;
  if (!HeaderPageChecksum(fd_, page_size_, &checksum)) Fail(database_, "cannot read the database", EIO);

  std::vector<uint8_t> header(kMagic, kMagic + sizeof kMagic);
  Append32(header, static_cast<uint32_t>(page_size_));
  Append32(header, committed_pages_);
  Append64(header, static_cast<uint64_t>(info.st_size));
  Append64(header, checksum);
  Append64(header, mark_);
  Append64(header, Fnv1a(header.data(), header.size()));

  const std::filesystem::path path = JournalPathFor(database_);
  // Never over another journal: one left by a write that could not be undone must wait for
  // the next open.
  journal_fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (journal_fd_ < 0) {
    const int error = errno;
    ClearMark(fd_);
    Fail(database_, "cannot create the journal " + path.filename().string(), error);
  }
  journal_size_ = 0;
  try {
    WriteAll(journal_fd_, header.data(), header.size(), 0, database_, "cannot write the journal");
  } catch (...) {
    EndJournalFile();
    throw;
  }
  journal_size_ = header.size();
}

void Journal::AppendSaved() {
  const bool first = journal_size_ == kHeaderSize;
  try {
    std::vector<uint8_t> batch;
    for (auto entry = originals_.begin(); entry != originals_.end();) {
      Append32(batch, entry->first.value());
      batch.insert(batch.end(), entry->second.get(), entry->second.get() + page_size_);
      Append64(batch, RecordChecksum(mark_, entry->first, entry->second.get(), page_size_));
      ++entry;
      if (batch.size() >= 64 * (page_size_ + kRecordOverhead) || entry == originals_.end()) {
        WriteAll(journal_fd_, batch.data(), batch.size(), static_cast<off_t>(journal_size_), database_,
                 "cannot write the journal");
        journal_size_ += batch.size();
        batch.clear();
      }
    }
    Sync(journal_fd_, database_, "cannot write the journal");
  } catch (...) {
    if (first) EndJournalFile();
    throw;
  }
  if (first) SyncFolder(database_);
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
    WriteAll(fd_, page_bytes(page), page_size_, static_cast<off_t>(FileOffset(page, page_size_)), database_,
             "cannot write the database");
  }
  for (uint32_t appended = committed_pages_; appended < page_count; ++appended) {
    const PageNumber page(appended);
    WriteAll(fd_, page_bytes(page), page_size_, static_cast<off_t>(FileOffset(page, page_size_)), database_,
             "cannot write the database");
  }
  Sync(fd_, database_, "cannot write the database");
}

void Journal::EndJournalFile(bool clear_mark) {
  if (journal_fd_ < 0) return;
  close(journal_fd_);
  journal_fd_ = -1;
  journal_size_ = 0;
  const bool removed = unlink(JournalPathFor(database_).c_str()) == 0 || errno == ENOENT;
  const int error = errno;
  SyncFolder(database_);
  if (!removed) Fail(database_, "cannot remove the journal", error);
  if (clear_mark) ClearMark(fd_);
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
      }
      throw;
    }
    EndJournalFile();
    CountChange(fd_);
  } catch (...) {
    lock_.EndCommit();
    throw;
  }
  lock_.EndCommit();
  Reset(page_count);
}

uint32_t Journal::Rollback(const std::function<uint8_t*(PageNumber)>& cached_page) {
  for (PageNumber page : changed_) {
    auto original = originals_.find(page);
    if (original != originals_.end()) {
      std::memcpy(cached_page(page), original->second.get(), page_size_);
    } else if (!ReadAll(fd_, cached_page(page), page_size_, static_cast<off_t>(FileOffset(page, page_size_)))) {
      // (Moved to the journal file, the content is read back from the database, which
      // nothing of the change has reached.)
      std::memset(cached_page(page), 0, page_size_);
    }
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
