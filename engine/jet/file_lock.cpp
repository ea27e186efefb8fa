#include "engine/jet/file_lock.h"

#include <sys/file.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "engine/error.h"

namespace engine::jet {

void RefuseIfAccessLockFile(const std::filesystem::path& database) {
  std::filesystem::path lock = database;
  lock.replace_extension(".ldb");
  std::error_code error;
  if (std::filesystem::exists(lock, error)) {
    throw Error(database.string(), "the database is open in Microsoft Access (its lock file " +
                                       lock.filename().string() + " exists); close Access and try again");
  }
}

void LockForWriting(int fd, const std::filesystem::path& database) {
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) {
      throw Error(database.string(), "the database is being written by another program or another copy of this one");
    }
    throw Error(database.string(), std::string("cannot lock the database: ") + std::strerror(errno));
  }
}

}  // namespace engine::jet
