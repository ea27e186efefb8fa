// Whole reads, writes and syncs: see file_io.h.
#include "engine/jet/storage/file_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/base/error.h"

namespace engine::jet {

FileRead ReadAt(int fd, uint8_t* into, size_t size, uint64_t offset) {
  while (size > 0) {
    const ssize_t n = pread(fd, into, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return FileRead::Error;
    if (n == 0) return FileRead::End;
    into += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return FileRead::Data;
}

void ThrowFileError(const std::filesystem::path& database, const std::string& what, int error) {
  const ErrorKind kind = KindOfSystemError(error);
  std::string reason = what + ": " + std::strerror(error);
  if (kind == ErrorKind::DiskFull) reason = what + ": the disk is full";
  if (kind == ErrorKind::ReadOnlyFileSystem) reason = what + ": the file system is read-only";
  if (kind == ErrorKind::AccessDenied) reason = what + ": the file or folder is read-only";
  throw Error(database.string(), reason, kind);
}

void WriteAt(int fd, const uint8_t* data, size_t size, off_t offset, const std::filesystem::path& database,
             const char* what) {
  while (size > 0) {
    const ssize_t n = pwrite(fd, data, size, offset);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowFileError(database, what, errno);
    }
    data += n;
    size -= static_cast<size_t>(n);
    offset += n;
  }
}

void SyncFile(int fd, const std::filesystem::path& database, const char* what) {
  if (fsync(fd) != 0) ThrowFileError(database, what, errno);
}

void SyncFolderOf(const std::filesystem::path& database) {
  std::filesystem::path folder = database.parent_path();
  if (folder.empty()) folder = ".";
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace engine::jet
