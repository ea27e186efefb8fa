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
      Fail(database, what, errno);
    }
    // A short write: the rest of the batch page by page, which reports why it stopped.
    size_t left = static_cast<size_t>(written);
    for (uint32_t i = 0; i < batch; ++i) {
      if (left >= page_size) {
        left -= page_size;
        continue;
      }
      WriteAll(fd, static_cast<const uint8_t*>(parts[i].iov_base) + left, page_size - left,
               offset + static_cast<off_t>(i * page_size + left), database, what);
      left = 0;
    }
    done += batch;
  }
}

// Whole reads; false when the file ends first or cannot be read (the writer's own reads,
// whose failure the write that follows reports).
bool ReadAll(int fd, uint8_t* data, size_t size, off_t offset) {
  return ReadJournalBytes(fd, data, size, static_cast<uint64_t>(offset)) == JournalRead::Data;
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

// The checksum of a header page as it was before the change: the mark counts as zeros.
uint64_t HeaderPageChecksum(std::vector<uint8_t> page) {
  std::memset(page.data() + kMarkOffset, 0, kMarkSize);
  return Fnv1a(page.data(), page.size());
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

// Renames a journal that cannot be applied to the database, never over an earlier one.
std::filesystem::path SetAside(const std::filesystem::path& database, const std::filesystem::path& journal) {
  for (int n = 1;; ++n) {
    std::filesystem::path target = journal.string() + ".not-applied" + (n == 1 ? "" : "-" + std::to_string(n));
    std::error_code error;
    if (std::filesystem::exists(target, error)) continue;
    if (rename(journal.c_str(), target.c_str()) != 0) ThrowForeignJournal(database, errno);
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

// A journal as recovery reads it: every read answers data, end or error, and an error
// stops the recovery before the database is touched, keeping the journal for a later open
// (the journal is the only copy of the pages the interrupted write overwrote).
class JournalReading {
 public:
  JournalReading(const std::filesystem::path& database, int fd, const JournalReader& read)
      : database_(database), fd_(fd), read_(read) {}

  // The bytes at `offset`: true when all are there, false when the journal ends first.
  bool Read(uint8_t* into, size_t size, uint64_t offset) const {
    const JournalRead got = read_(fd_, into, size, offset);
    if (got == JournalRead::Error) Unreadable("at byte " + std::to_string(offset) + ": " + std::strerror(errno));
    return got == JournalRead::Data;
  }

  [[noreturn]] void Unreadable(const std::string& why) const {
    const std::filesystem::path journal = JournalPathFor(database_);
    throw Error(database_.string(),
                "the journal " + journal.filename().string() + " of an interrupted write cannot be read (" + why +
                    "); the database was not touched and the journal is kept: the next open that can read it "
                    "undoes the write",
                ErrorKind::JournalUnreadable, journal.string());
  }

 private:
  const std::filesystem::path& database_;
  int fd_;
  const JournalReader& read_;
};

struct JournalHeader {
  enum State { Empty, CannotApply, Sound } state = Empty;
  uint32_t page_size = 0;
  uint64_t size_before = 0;
  uint64_t header_page_checksum = 0;
  uint64_t mark = 0;
};

// A journal created but never written is empty. One whose header is cut short or does not
// check may still be the only copy of pages the write overwrote, or another program's: it is
// never applied and never deleted.
JournalHeader ReadHeader(const JournalReading& in) {
  uint8_t bytes[kHeaderSize];
  if (!in.Read(bytes, 1, 0)) return {};
  if (!in.Read(bytes, kHeaderSize, 0) || std::memcmp(bytes, kMagic, sizeof kMagic) != 0 ||
      GetU64(bytes + kHeaderFields) != Fnv1a(bytes, kHeaderFields)) {
    return {JournalHeader::CannotApply};
  }
  return {JournalHeader::Sound, GetU32(bytes + 8), GetU64(bytes + 16), GetU64(bytes + 24), GetU64(bytes + 32)};
}

// Whether the journal was made for the database as it is now: the page size of its
// version, and the change's mark and header-page checksum.
bool MadeFor(const std::filesystem::path& database, int fd, const JournalHeader& header) {
  if (header.mark == 0 || (header.page_size != 2048 && header.page_size != 4096)) return false;
  std::vector<uint8_t> page(header.page_size);
  const JournalRead got = ReadJournalBytes(fd, page.data(), page.size(), 0);
  if (got == JournalRead::Error) {
    Fail(database, "cannot read the header page to undo an interrupted write (nothing was changed)", errno);
  }
  return got == JournalRead::Data && header.page_size == (page[kVersionOffset] == 0 ? 2048u : 4096u) &&
         GetU64(page.data() + kMarkOffset) == header.mark && HeaderPageChecksum(page) == header.header_page_checksum;
}

// Reads record `index` into `record`; false when it is cut short or does not check.
bool ReadRecord(const JournalReading& in, const JournalHeader& header, uint64_t index, std::vector<uint8_t>& record) {
  if (!in.Read(record.data(), record.size(), kHeaderSize + index * record.size())) return false;
  const uint8_t* bytes = record.data() + 4;
  return GetU64(bytes + header.page_size) ==
         RecordChecksum(header.mark, GetPageNumber(record.data()), bytes, header.page_size);
}

JournalHeader::State Inspect(const std::filesystem::path& database, int fd, const JournalReading& in,
                             JournalHeader& header) {
  header = ReadHeader(in);
  if (header.state == JournalHeader::Sound && !MadeFor(database, fd, header)) header.state = JournalHeader::CannotApply;
  return header.state;
}

void RemoveJournal(const std::filesystem::path& database) {
  if (unlink(JournalPathFor(database).c_str()) != 0 && errno != ENOENT) Fail(database, "cannot remove the journal", errno);
  SyncFolder(database);
}

}  // namespace

JournalRead ReadJournalBytes(int fd, uint8_t* into, size_t size, uint64_t offset) {
  while (size > 0) {
    const ssize_t n = pread(fd, into, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return JournalRead::Error;
    if (n == 0) return JournalRead::End;
    into += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return JournalRead::Data;
}

void ThrowForeignJournal(const std::filesystem::path& database, int error) {
  const std::filesystem::path journal = JournalPathFor(database);
  throw Error(database.string(),
              "the journal " + journal.filename().string() +
                  " beside it cannot be applied to it (it belongs to another file, or its header is damaged) and "
                  "cannot be set aside: " + std::strerror(error) + "; the database was not touched",
              ErrorKind::ForeignJournal, journal.string());
}

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

JournalFinding InspectJournal(const std::filesystem::path& database, int fd, const JournalReader& read) {
  const int journal_fd = open(JournalPathFor(database).c_str(), O_RDONLY | O_CLOEXEC);
  if (journal_fd < 0 && errno == ENOENT) return JournalFinding::None;
  const JournalReading in(database, journal_fd, read);
  if (journal_fd < 0) in.Unreadable(std::string("cannot open it: ") + std::strerror(errno));
  FileCloser closer(journal_fd);
  JournalHeader header;
  switch (Inspect(database, fd, in, header)) {
    case JournalHeader::Empty: return JournalFinding::Empty;
    case JournalHeader::CannotApply: return JournalFinding::CannotApply;
    case JournalHeader::Sound: break;
  }
  return JournalFinding::Applies;
}

JournalOutcome RecoverFromJournal(const std::filesystem::path& database, int fd, const JournalReader& read) {
  const std::filesystem::path journal = JournalPathFor(database);
  const int journal_fd = open(journal.c_str(), O_RDONLY | O_CLOEXEC);
  if (journal_fd < 0 && errno == ENOENT) return {};
  const JournalReading in(database, journal_fd, read);
  if (journal_fd < 0) in.Unreadable(std::string("cannot open it: ") + std::strerror(errno));
  FileCloser closer(journal_fd);
  JournalHeader header;
  switch (Inspect(database, fd, in, header)) {
    case JournalHeader::Empty:
      RemoveJournal(database);
      return {JournalOutcome::Removed, {}};
    case JournalHeader::CannotApply:
      return {JournalOutcome::SetAside, SetAside(database, journal)};
    case JournalHeader::Sound:
      break;
  }

  // Records reach the disk before the pages they protect, so the first one that is cut short
  // or does not check marks the end of what needs undoing. The whole journal is read before
  // the first page is written back: a read error leaves the database untouched.
  std::vector<uint8_t> record(kRecordOverhead + header.page_size);
  uint64_t sound = 0;
  while (ReadRecord(in, header, sound, record)) ++sound;
  const char* undo = "cannot undo an interrupted write";
  for (uint64_t index = 0; index < sound; ++index) {
    // Writing back is idempotent: a journal kept after a failure here is applied whole again.
    if (!ReadRecord(in, header, index, record)) in.Unreadable("record " + std::to_string(index) + " read differently");
    const PageNumber page = GetPageNumber(record.data());
    WriteAll(fd, record.data() + 4, header.page_size, static_cast<off_t>(FileOffset(page, header.page_size)),
             database, undo);
  }
  if (ftruncate(fd, static_cast<off_t>(header.size_before)) != 0) Fail(database, undo, errno);
  Sync(fd, database, undo);
  RemoveJournal(database);
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
  // A long change that touches many pages at once (emptying a large table) would otherwise
  // hold a second copy of each until the next timed spill.
  if (originals_.size() >= kOriginalsKept) Spill();
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
  std::vector<uint8_t> header_page(page_size_);
  if (!ReadAll(fd_, header_page.data(), page_size_, 0)) Fail(database_, "cannot read the database", EIO);
  const uint64_t checksum = HeaderPageChecksum(std::move(header_page));

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
  if (page_count > committed_pages_) {
    WritePageRun(fd_, page_bytes, committed_pages_, page_count - committed_pages_, page_size_, database_,
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
