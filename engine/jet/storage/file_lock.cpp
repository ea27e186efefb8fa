#include "engine/jet/storage/file_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "engine/text/case_fold.h"
#include "engine/base/error.h"
#include "engine/value/value.h"
#include "engine/database/while_waiting.h"

namespace engine::jet {
namespace {

// Past the largest Jet file (2^24 pages of 4 KB = 64 GB), so no reader's byte range meets them.
constexpr off_t kWriterByte = off_t{1} << 40;
constexpr off_t kCommitByte = kWriterByte + 1;

// Commits take milliseconds; a read that lasts longer (a walk over a large table) is waited
// for this long before the commit gives up.
constexpr auto kLockWait = std::chrono::seconds(10);
constexpr auto kLockRetry = std::chrono::milliseconds(5);

std::map<std::pair<dev_t, ino_t>, std::weak_ptr<DatabaseLock>>& OpenFiles() {
  static std::map<std::pair<dev_t, ino_t>, std::weak_ptr<DatabaseLock>> files;
  return files;
}

struct flock ByteLock(short type, off_t offset) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = offset;
  lock.l_len = 1;
  return lock;
}

// Access names its lock file after the database, but a share written from Windows may hold
// it in any letter case (LISTINI.LDB beside listini.mdb); Windows would treat them as one.
std::optional<std::filesystem::path> FindAccessLockFile(const std::filesystem::path& database) {
  std::filesystem::path expected = database;
  expected.replace_extension(".ldb");
  std::error_code error;
  if (std::filesystem::exists(expected, error)) return expected;
  const std::u16string wanted = FromUtf8(expected.filename().string());
  std::filesystem::path folder = database.parent_path();
  if (folder.empty()) folder = ".";
  for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
    if (EqualsIgnoringAsciiCase(FromUtf8(entry->path().filename().string()), wanted)) return entry->path();
  }
  return std::nullopt;
}

}  // namespace

void RefuseIfAccessLockFile(const std::filesystem::path& database) {
  if (const auto lock = FindAccessLockFile(database)) {
    throw Error(database.string(),
                "the database is open in Microsoft Access (its lock file " + lock->filename().string() +
                    " exists); close Access and try again, or, if Access is not running, delete " + lock->string(),
                ErrorKind::OpenInAccess, lock->string());
  }
}

std::shared_ptr<DatabaseLock> DatabaseLock::For(int fd, const std::filesystem::path& database) {
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    const int error = errno;
    throw Error(database.string(), std::string("the file cannot be read: ") + std::strerror(error),
                KindOfSystemError(error));
  }
  const auto key = std::make_pair(info.st_dev, info.st_ino);
  // A child process inherits its parent's entries, whose locks are the parent's.
  if (auto shared = OpenFiles()[key].lock(); shared && shared->owner_ == getpid()) return shared;
  const int own = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (own < 0) {
    const int error = errno;
    throw Error(database.string(), std::string("cannot lock the database: ") + std::strerror(error),
                KindOfSystemError(error));
  }
  const bool writable = (fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDWR;
  std::shared_ptr<DatabaseLock> lock(new DatabaseLock(own, writable, database, info.st_dev, info.st_ino));
  OpenFiles()[key] = lock;
  return lock;
}

DatabaseLock::DatabaseLock(int fd, bool writable, std::filesystem::path database, dev_t device, ino_t inode)
    : fd_(fd), fd_writable_(writable), database_(std::move(database)), device_(device), inode_(inode) {}

DatabaseLock::~DatabaseLock() {
  // The descriptor we duplicated may still be open elsewhere: let go of the bytes explicitly
  // (unless this is a copy in a child process, where they are the parent's).
  if (owner_ == getpid()) {
    struct flock all = ByteLock(F_UNLCK, kWriterByte);
    all.l_len = 2;
    fcntl(fd_, F_OFD_SETLK, &all);
  }
  close(fd_);
  auto& files = OpenFiles();
  auto found = files.find({device_, inode_});
  if (found != files.end() && found->second.expired()) files.erase(found);
}

void DatabaseLock::Set(short type, off_t offset, bool wait, const char* busy_reason) {
  const auto give_up = std::chrono::steady_clock::now() + kLockWait;
  for (;;) {
    struct flock lock = ByteLock(type, offset);
    if (fcntl(fd_, F_OFD_SETLK, &lock) == 0) return;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EACCES) {
      const int error = errno;
      throw Error(database_.string(), std::string("cannot lock the database: ") + std::strerror(error),
                  KindOfSystemError(error));
    }
    if (!wait || std::chrono::steady_clock::now() >= give_up) {
      throw Error(database_.string(), busy_reason, ErrorKind::Locked);
    }
    WhileWaiting::StillWaiting();
    std::this_thread::sleep_for(kLockRetry);
  }
}

void DatabaseLock::TakeWriter(int read_write_fd) {
  if (writer_) {
    throw Error(database_.string(), "the database is being written by another program or another copy of this one",
                ErrorKind::Locked);
  }
  if (!fd_writable_) {
    // Exclusive locks need a descriptor open for writing: move our locks to one.
    const int own = fcntl(read_write_fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0) {
      const int error = errno;
      throw Error(database_.string(), std::string("cannot lock the database: ") + std::strerror(error),
                  KindOfSystemError(error));
    }
    if (readers_ > 0) {
      struct flock shared = ByteLock(F_RDLCK, kCommitByte);
      fcntl(own, F_OFD_SETLK, &shared);  // cannot conflict: we hold this lock already
    }
    struct flock release = ByteLock(F_UNLCK, kCommitByte);
    fcntl(fd_, F_OFD_SETLK, &release);
    close(fd_);
    fd_ = own;
    fd_writable_ = true;
  }
  Set(F_WRLCK, kWriterByte, /*wait=*/false,
      "the database is being written by another program or another copy of this one");
  writer_ = true;
}

void DatabaseLock::ReleaseWriter() {
  if (!writer_) return;
  struct flock release = ByteLock(F_UNLCK, kWriterByte);
  fcntl(fd_, F_OFD_SETLK, &release);
  writer_ = false;
}

bool DatabaseLock::WriterElsewhere() const {
  if (writer_) return false;
  struct flock probe = ByteLock(F_WRLCK, kWriterByte);
  if (fcntl(fd_, F_OFD_GETLK, &probe) != 0) return false;
  return probe.l_type != F_UNLCK;
}

void DatabaseLock::AddReader() {
  if (readers_ == 0 && !committing_) {
    Set(F_RDLCK, kCommitByte, /*wait=*/true, "the database is being written by another program; try again shortly");
  }
  ++readers_;
}

void DatabaseLock::RemoveReader() {
  if (readers_ == 0) return;
  if (--readers_ == 0 && !committing_) {
    struct flock release = ByteLock(F_UNLCK, kCommitByte);
    fcntl(fd_, F_OFD_SETLK, &release);
  }
}

void DatabaseLock::BeginCommit() {
  Set(F_WRLCK, kCommitByte, /*wait=*/true,
      "the database is being read by another program and cannot be written now; try again when it has finished");
  committing_ = true;
}

bool DatabaseLock::TryBeginCommit() {
  struct flock lock = ByteLock(F_WRLCK, kCommitByte);
  while (fcntl(fd_, F_OFD_SETLK, &lock) != 0) {
    if (errno != EINTR) return false;
  }
  committing_ = true;
  return true;
}

void DatabaseLock::EndCommit() {
  if (!committing_) return;
  committing_ = false;
  // Readers of this process keep their shared hold (a conversion, which cannot fail).
  struct flock after = ByteLock(readers_ > 0 ? F_RDLCK : F_UNLCK, kCommitByte);
  fcntl(fd_, F_OFD_SETLK, &after);
}

}  // namespace engine::jet
