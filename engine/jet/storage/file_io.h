// Whole reads and writes at an offset, and syncs of a file and of its folder, as the journal,
// its recovery and the engine's marks on the header page do them: a write that fails becomes
// an engine::Error naming the database, with a reason a shop owner can act on (the disk is
// full, the file system or the file is read-only). No bytes of their own: the callers say
// what they read and write (journal_format.h, header_page.h).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace engine::jet {

// One read: all `size` bytes at `offset` (Data), fewer because the file ends first (End),
// or a refusal of the disk (Error, errno set).
enum class FileRead { Data, End, Error };
FileRead ReadAt(int fd, uint8_t* into, size_t size, uint64_t offset);

// Throws engine::Error naming `database`: `what`, then the reason `error` (an errno) gives.
[[noreturn]] void ThrowFileError(const std::filesystem::path& database, const std::string& what, int error);

// Writes all `size` bytes at `offset`, or throws as ThrowFileError with `what`.
void WriteAt(int fd, const uint8_t* data, size_t size, off_t offset, const std::filesystem::path& database,
             const char* what);

// fsync, or throws as ThrowFileError with `what`.
void SyncFile(int fd, const std::filesystem::path& database, const char* what);

// The folder entry of a new or removed file beside `database` must reach the disk too. Best
// effort: a folder that cannot be opened is left as it is.
void SyncFolderOf(const std::filesystem::path& database);

}  // namespace engine::jet
