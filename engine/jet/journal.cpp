#include "engine/jet/journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "engine/error.h"

namespace engine::jet {
namespace {

constexpr char kMagic[8] = {'A', 'R', 'C', 'H', 'J', 'R', 'N', '1'};
constexpr size_t kHeaderSize = 8 + 4 + 4 + 4;

uint64_t Fnv1a(const uint8_t* data, size_t size) {
  uint64_t hash = 0xcbf29ce484222325ULL;
  for (size_t i = 0; i < size; ++i) {
    hash ^= data[i];
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
uint32_t Get32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

[[noreturn]] void Fail(const std::filesystem::path& database, const std::string& what, int error) {
  std::string reason = what + ": " + std::strerror(error);
  if (error == ENOSPC) reason = what + ": the disk is full";
  if (error == EROFS || error == EACCES || error == EPERM) reason = what + ": the file or folder is read-only";
  throw Error(database.string(), reason);
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

bool ReadWholeFile(const std::filesystem::path& path, std::vector<uint8_t>* out) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  if (fstat(fd, &info) != 0) {
    close(fd);
    return false;
  }
  out->resize(static_cast<size_t>(info.st_size));
  size_t done = 0;
  while (done < out->size()) {
    const ssize_t n = pread(fd, out->data() + done, out->size() - done, static_cast<off_t>(done));
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      break;
    }
    done += static_cast<size_t>(n);
  }
  close(fd);
  out->resize(done);
  return true;
}

}  // namespace

std::filesystem::path JournalPathFor(const std::filesystem::path& database) {
  return std::filesystem::path(database.string() + "-journal");
}

bool HasJournal(const std::filesystem::path& database) {
  std::error_code error;
  return std::filesystem::exists(JournalPathFor(database), error);
}

bool RecoverFromJournal(const std::filesystem::path& database, int fd) {
  const std::filesystem::path journal = JournalPathFor(database);
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(journal, &bytes)) return false;
  bool complete = bytes.size() >= kHeaderSize + 8 && std::memcmp(bytes.data(), kMagic, 8) == 0;
  uint32_t page_size = 0, pages_before = 0, count = 0;
  if (complete) {
    page_size = Get32(bytes.data() + 8);
    pages_before = Get32(bytes.data() + 12);
    count = Get32(bytes.data() + 16);
    const uint64_t expected_size = kHeaderSize + static_cast<uint64_t>(count) * (4 + page_size) + 8;
    complete = (page_size == 2048 || page_size == 4096) && bytes.size() == expected_size;
    if (complete) {
      uint64_t stored = 0;
      std::memcpy(&stored, bytes.data() + bytes.size() - 8, 8);
      complete = stored == Fnv1a(bytes.data(), bytes.size() - 8);
    }
  }
  if (complete) {
    const uint8_t* record = bytes.data() + kHeaderSize;
    for (uint32_t i = 0; i < count; ++i, record += 4 + page_size) {
      const uint32_t page = Get32(record);
      WriteAll(fd, record + 4, page_size, static_cast<off_t>(page) * page_size, database,
               "cannot undo an interrupted write");
    }
    if (ftruncate(fd, static_cast<off_t>(pages_before) * page_size) != 0) {
      Fail(database, "cannot undo an interrupted write", errno);
    }
    Sync(fd, database, "cannot undo an interrupted write");
  }
  // A journal cut short was being written before the database was touched: drop it.
  if (unlink(journal.c_str()) != 0 && errno != ENOENT) Fail(database, "cannot remove the journal", errno);
  SyncFolder(database);
  return complete;
}

Journal::Journal(std::filesystem::path database, int fd, size_t page_size, uint32_t committed_pages)
    : database_(std::move(database)), fd_(fd), page_size_(page_size), committed_pages_(committed_pages) {}

void Journal::Save(uint32_t page, const uint8_t* content) {
  auto copy = std::make_unique<uint8_t[]>(page_size_);
  std::memcpy(copy.get(), content, page_size_);
  originals_.emplace(page, std::move(copy));
}

void Journal::WriteJournalFile() {
  std::vector<uint8_t> bytes;
  bytes.reserve(kHeaderSize + originals_.size() * (4 + page_size_) + 8);
  bytes.insert(bytes.end(), kMagic, kMagic + 8);
  Put32(bytes, static_cast<uint32_t>(page_size_));
  Put32(bytes, committed_pages_);
  Put32(bytes, static_cast<uint32_t>(originals_.size()));
  for (const auto& [page, content] : originals_) {
    Put32(bytes, page);
    bytes.insert(bytes.end(), content.get(), content.get() + page_size_);
  }
  const uint64_t checksum = Fnv1a(bytes.data(), bytes.size());
  const uint8_t* c = reinterpret_cast<const uint8_t*>(&checksum);
  bytes.insert(bytes.end(), c, c + 8);

  const std::filesystem::path path = JournalPathFor(database_);
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) Fail(database_, "cannot create the journal " + path.filename().string(), errno);
  try {
    WriteAll(fd, bytes.data(), bytes.size(), 0, database_, "cannot write the journal");
    Sync(fd, database_, "cannot write the journal");
  } catch (...) {
    close(fd);
    unlink(path.c_str());
    throw;
  }
  close(fd);
  SyncFolder(database_);
}

void Journal::WritePages(const std::function<const uint8_t*(uint32_t)>& page_bytes, uint32_t page_count) {
  for (const auto& entry : originals_) {
    WriteAll(fd_, page_bytes(entry.first), page_size_, static_cast<off_t>(entry.first) * page_size_, database_,
             "cannot write the database");
  }
  for (uint32_t page = committed_pages_; page < page_count; ++page) {
    WriteAll(fd_, page_bytes(page), page_size_, static_cast<off_t>(page) * page_size_, database_,
             "cannot write the database");
  }
  Sync(fd_, database_, "cannot write the database");
}

void Journal::Commit(const std::function<const uint8_t*(uint32_t)>& page_bytes, uint32_t page_count) {
  if (!has_changes()) return;
  // With nothing to overwrite (only new pages), a crash can at worst leave extra pages past
  // the old end; the journal still records the old length so they are cut off again.
  WriteJournalFile();
  try {
    WritePages(page_bytes, page_count);
  } catch (const Error&) {
    // Put the old contents back at once if we can; otherwise the journal stays and the next
    // open does it.
    try {
      RecoverFromJournal(database_, fd_);
    } catch (const Error&) {
    }
    throw;
  }
  if (unlink(JournalPathFor(database_).c_str()) != 0) Fail(database_, "cannot remove the journal", errno);
  SyncFolder(database_);
  originals_.clear();
  appended_ = false;
  committed_pages_ = page_count;
}

uint32_t Journal::Rollback(const std::function<uint8_t*(uint32_t)>& cached_page) {
  for (const auto& [page, content] : originals_) std::memcpy(cached_page(page), content.get(), page_size_);
  originals_.clear();
  appended_ = false;
  return committed_pages_;
}

}  // namespace engine::jet
