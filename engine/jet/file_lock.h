// Keeping other writers away from a database while we write it: an exclusive advisory lock
// (flock) on the open file, held until the descriptor is closed, and a refusal when Access's
// own lock file (NAME.ldb) lies beside the database, since Access would then overwrite our
// pages from its cache.
#pragma once

#include <filesystem>

namespace engine::jet {

// Throws engine::Error when Access's lock file is present next to `database`.
void RefuseIfAccessLockFile(const std::filesystem::path& database);

// Takes the exclusive lock on the open descriptor `fd` of `database`; throws engine::Error
// naming the file when another process (or another open of this one) holds it.
void LockForWriting(int fd, const std::filesystem::path& database);

}  // namespace engine::jet
