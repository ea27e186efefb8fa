// Undoing an interrupted commit, or setting its journal aside: see journal_recovery.h.
#include "engine/jet/storage/journal_recovery.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "engine/base/error.h"
#include "engine/jet/format/format.h"
#include "engine/jet/storage/header_page.h"
#include "engine/jet/storage/journal_format.h"

namespace engine::jet {
namespace {

class FileCloser {
 public:
  explicit FileCloser(int fd) : fd_(fd) {}
  ~FileCloser() { close(fd_); }

 private:
  int fd_;
};

[[noreturn]] void ThrowUnreadable(const std::filesystem::path& database, const std::string& why) {
  const std::filesystem::path journal = JournalPathFor(database);
  throw Error(database.string(),
              "the journal " + journal.filename().string() + " of an interrupted write cannot be read (" + why +
                  "); the database was not touched and the journal is kept: the next open that can read it "
                  "undoes the write",
              ErrorKind::JournalUnreadable, journal.string());
}

const char* KindOfFile(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a pipe";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  return "not a file";
}

// What stands at the journal's name: nothing, a symbolic link, or a file open for reading.
struct JournalEntry {
  enum State { Missing, Link, File } state = Missing;
  int fd = -1;  // File
};

// Anyone who may write the database's folder may have put something at the journal's name.
// The open neither follows a link nor waits (a pipe would hold it for ever), and only a
// regular file is read. A link is never one of ours (a journal is made with O_EXCL): it is
// set aside unread, as a journal made for another file is.
JournalEntry OpenJournal(const std::filesystem::path& database) {
  const std::filesystem::path journal = JournalPathFor(database);
  const int fd = open(journal.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) return {};
  if (fd < 0 && errno == ELOOP) return {JournalEntry::Link, -1};
  if (fd < 0) ThrowUnreadable(database, std::string("cannot open it: ") + std::strerror(errno));
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    const int error = errno;
    close(fd);
    ThrowUnreadable(database, std::string("cannot open it: ") + std::strerror(error));
  }
  if (!S_ISREG(info.st_mode)) {
    close(fd);
    throw Error(database.string(),
                "what stands at the name of its journal, " + journal.filename().string() + ", is " +
                    KindOfFile(info.st_mode) + ", not a journal: it was left alone and the database was not touched",
                ErrorKind::NotAJournal, journal.string());
  }
  return {JournalEntry::File, fd};
}

// A journal as recovery reads it: every read answers data, end or error, and an error
// stops the recovery before the database is touched, keeping the journal for a later open
// (the journal is the only copy of the pages the interrupted write overwrote).
class JournalReading {
 public:
  JournalReading(const std::filesystem::path& database, int fd, const JournalReader& read)
      : database_(database), fd_(fd), read_(read) {}

  // The bytes at `offset`: true when all are there, false when the journal ends first.
  bool Read(uint8_t* into, size_t size, uint64_t offset) const {
    const FileRead got = read_(fd_, into, size, offset);
    if (got == FileRead::Error) Unreadable("at byte " + std::to_string(offset) + ": " + std::strerror(errno));
    return got == FileRead::Data;
  }

  [[noreturn]] void Unreadable(const std::string& why) const { ThrowUnreadable(database_, why); }

 private:
  const std::filesystem::path& database_;
  int fd_;
  const JournalReader& read_;
};

// What the journal's header says of it.
struct Inspection {
  enum State { Empty, CannotApply, Sound } state = Empty;
  JournalHeader header;  // Sound: the header
};

// A journal created but never written is empty. One whose header is cut short or does not
// check may still be the only copy of pages the write overwrote, or another program's: it is
// never applied and never deleted.
Inspection ReadHeader(const JournalReading& in) {
  uint8_t bytes[kJournalHeaderSize];
  if (!in.Read(bytes, 1, 0)) return {};
  if (!in.Read(bytes, kJournalHeaderSize, 0)) return {Inspection::CannotApply, {}};
  const std::optional<JournalHeader> header = DecodeJournalHeader(bytes);
  if (!header) return {Inspection::CannotApply, {}};
  return {Inspection::Sound, *header};
}

// Whether the journal was made for the database as it is now: the page size of its
// version, and the change's mark and header-page checksum.
bool MadeFor(const std::filesystem::path& database, int fd, const JournalHeader& header) {
  if (header.mark == 0 || (header.page_size != kJet3Format.page_size && header.page_size != kJet4Format.page_size)) {
    return false;
  }
  std::vector<uint8_t> page(header.page_size);
  const FileRead got = ReadAt(fd, page.data(), page.size(), 0);
  if (got == FileRead::Error) {
    ThrowFileError(database, "cannot read the header page to undo an interrupted write (nothing was changed)", errno);
  }
  return got == FileRead::Data && header.page_size == PageSizeNamedBy(page.data()) &&
         JournalMarkIn(page.data()) == header.mark &&
         HeaderPageChecksum(page.data(), page.size()) == header.header_page_checksum;
}

Inspection Inspect(const std::filesystem::path& database, int fd, const JournalReading& in) {
  Inspection found = ReadHeader(in);
  if (found.state == Inspection::Sound && !MadeFor(database, fd, found.header)) found.state = Inspection::CannotApply;
  return found;
}

// Reads record `index` into `record`; its page and bytes, or nothing when it is cut short or
// does not check.
std::optional<JournalRecord> ReadRecord(const JournalReading& in, const JournalHeader& header, uint64_t index,
                                        std::vector<uint8_t>& record) {
  if (!in.Read(record.data(), record.size(), JournalRecordOffset(index, header.page_size))) return std::nullopt;
  return DecodeJournalRecord(record.data(), header.mark, header.page_size);
}

// Renames a journal that cannot be applied to the database, never over an earlier one.
std::filesystem::path SetAside(const std::filesystem::path& database, const std::filesystem::path& journal) {
  for (int n = 1;; ++n) {
    std::filesystem::path target = journal.string() + ".not-applied" + (n == 1 ? "" : "-" + std::to_string(n));
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(target, error))) continue;
    if (rename(journal.c_str(), target.c_str()) != 0) ThrowForeignJournal(database, errno);
    SyncFolderOf(database);
    return target;
  }
}

void RemoveJournal(const std::filesystem::path& database) {
  if (unlink(JournalPathFor(database).c_str()) != 0 && errno != ENOENT) {
    ThrowFileError(database, "cannot remove the journal", errno);
  }
  SyncFolderOf(database);
}

}  // namespace

bool HasJournal(const std::filesystem::path& database) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::symlink_status(JournalPathFor(database), error));
}

void ThrowForeignJournal(const std::filesystem::path& database, int error) {
  const std::filesystem::path journal = JournalPathFor(database);
  throw Error(database.string(),
              "the journal " + journal.filename().string() +
                  " beside it cannot be applied to it (it belongs to another file, or its header is damaged) and "
                  "cannot be set aside: " + std::strerror(error) + "; the database was not touched",
              ErrorKind::ForeignJournal, journal.string());
}

JournalFinding InspectJournal(const std::filesystem::path& database, int fd, const JournalReader& read) {
  const JournalEntry entry = OpenJournal(database);
  if (entry.state == JournalEntry::Missing) return JournalFinding::None;
  if (entry.state == JournalEntry::Link) return JournalFinding::CannotApply;
  FileCloser closer(entry.fd);
  const JournalReading in(database, entry.fd, read);
  switch (Inspect(database, fd, in).state) {
    case Inspection::Empty: return JournalFinding::Empty;
    case Inspection::CannotApply: return JournalFinding::CannotApply;
    case Inspection::Sound: break;
  }
  return JournalFinding::Applies;
}

JournalOutcome RecoverFromJournal(const std::filesystem::path& database, int fd, const JournalReader& read) {
  const std::filesystem::path journal = JournalPathFor(database);
  const JournalEntry entry = OpenJournal(database);
  if (entry.state == JournalEntry::Missing) return {};
  if (entry.state == JournalEntry::Link) return {JournalOutcome::SetAside, SetAside(database, journal)};
  FileCloser closer(entry.fd);
  const JournalReading in(database, entry.fd, read);
  const Inspection found = Inspect(database, fd, in);
  switch (found.state) {
    case Inspection::Empty:
      RemoveJournal(database);
      return {JournalOutcome::Removed, {}};
    case Inspection::CannotApply:
      return {JournalOutcome::SetAside, SetAside(database, journal)};
    case Inspection::Sound:
      break;
  }
  const JournalHeader& header = found.header;

  // Records reach the disk before the pages they protect, so the first one that is cut short
  // or does not check marks the end of what needs undoing. The whole journal is read before
  // the first page is written back: a read error leaves the database untouched.
  std::vector<uint8_t> record(JournalRecordSize(header.page_size));
  uint64_t sound = 0;
  while (ReadRecord(in, header, sound, record)) ++sound;
  const char* undo = "cannot undo an interrupted write";
  for (uint64_t index = 0; index < sound; ++index) {
    // Writing back is idempotent: a journal kept after a failure here is applied whole again.
    const std::optional<JournalRecord> page = ReadRecord(in, header, index, record);
    if (!page) in.Unreadable("record " + std::to_string(index) + " read differently");
    WriteAt(fd, page->bytes, header.page_size, static_cast<off_t>(FileOffset(page->page, header.page_size)), database,
            undo);
  }
  if (ftruncate(fd, static_cast<off_t>(header.size_before)) != 0) ThrowFileError(database, undo, errno);
  SyncFile(fd, database, undo);
  RemoveJournal(database);
  ClearJournalMark(fd);
  return {JournalOutcome::RolledBack, {}};
}

}  // namespace engine::jet
