#include "import/report_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "engine/base/error.h"
#include "engine/value/value.h"
#include "import/italian_texts.h"

namespace import {
namespace {

namespace fs = std::filesystem;

// An open file or folder, closed when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Closes it now; close's result.
  int Close() { return ::close(std::exchange(fd_, -1)); }

 private:
  int fd_;
};

[[noreturn]] void Fail(const fs::path& path, const std::string& what, int error_number) {
  throw engine::Error(path.string(), what + ": " + std::strerror(error_number),
                      engine::KindOfSystemError(error_number));
}

// Writes everything and makes it durable: a report that says what a run did must not vanish
// with a power cut while the price list keeps the run's articles.
void WriteAll(int fd, const fs::path& path, const std::string& content) {
  for (size_t done = 0; done < content.size();) {
    const ssize_t written = ::write(fd, content.data() + done, content.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) Fail(path, "cannot write the report", errno);
    done += static_cast<size_t>(written);
  }
  if (::fsync(fd) != 0) Fail(path, "cannot write the report", errno);
}

// Writes `content` into `file`, the new file `name` of `folder`; removes it when that fails.
void WriteInto(Descriptor file, int folder, const std::string& name, const fs::path& path, const std::string& content) {
  try {
    WriteAll(file.get(), path, content);
  } catch (const engine::Error&) {
    ::unlinkat(folder, name.c_str(), 0);
    throw;
  }
  if (file.Close() != 0) {
    const int error_number = errno;
    ::unlinkat(folder, name.c_str(), 0);
    Fail(path, "cannot write the report", error_number);
  }
}

// A new file `name` of `folder`: O_EXCL makes it, or fails on anything already there, a
// symbolic link included. -1 with errno when it cannot be made.
int CreateNew(int folder, const std::string& name) {
  return ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}

Descriptor OpenFolder(const fs::path& folder, const fs::path& shown, const char* what) {
  Descriptor opened(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (opened.get() < 0) Fail(shown, what, errno);
  return opened;
}

// mkdir leaves out what the umask masks, and the group is the user's unless the data folder
// is setgid: the clerks' group must be able to write here as in the data folder. Only a
// folder this user owns is handed over (the name may have been swapped since it was made),
// and a user outside that group cannot hand it over: the folder then stays the user's.
void ShareWithGroup(int folder, const struct stat& data_folder) {
  struct stat made {};
  if (::fstat(folder, &made) != 0 || made.st_uid != ::geteuid()) return;
  if (::fchown(folder, static_cast<uid_t>(-1), data_folder.st_gid) != 0) return;
  ::fchmod(folder, data_folder.st_mode & 07777);
}

struct ReportFolder {
  Descriptor fd;
  fs::path path;
};

// The folder "Importazioni" beside the real price list, opened; made when missing. A link or
// a file at its name is refused: the report would land where the link's maker chose.
ReportFolder OpenReportFolder(const fs::path& price_list) {
  std::error_code error;
  const fs::path real = fs::canonical(price_list, error);
  if (error) Fail(price_list, "cannot find the price list", error.value());
  const std::string name = engine::ToUtf8(kReportFolderName);
  const fs::path folder = real.parent_path() / name;
  const Descriptor data = OpenFolder(real.parent_path(), real.parent_path(), "cannot open the folder");
  struct stat data_info {};
  if (::fstat(data.get(), &data_info) != 0) Fail(real.parent_path(), "cannot read the folder", errno);
  const bool made = ::mkdirat(data.get(), name.c_str(), data_info.st_mode & 07777) == 0;
  if (!made && errno != EEXIST) Fail(folder, "cannot create the report folder", errno);
  Descriptor opened(::openat(data.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (opened.get() < 0 && (errno == ENOTDIR || errno == ELOOP)) {
    throw engine::Error(folder.string(), "a file or a symbolic link stands at the report folder's name",
                        engine::ErrorKind::AlreadyExists);
  }
  if (opened.get() < 0) Fail(folder, "cannot open the report folder", errno);
  if (made) ShareWithGroup(opened.get(), data_info);
  return {std::move(opened), folder};
}

fs::path WriteNewReport(const fs::path& price_list, const std::tm& start, const std::string& content) {
  const ReportFolder folder = OpenReportFolder(price_list);
  const std::string stem = ReportFileName(start);
  for (int attempt = 1;; ++attempt) {
    const std::string name = stem + (attempt == 1 ? "" : "-" + std::to_string(attempt)) + ".csv";
    const fs::path path = folder.path / name;
    Descriptor file(CreateNew(folder.fd.get(), name));
    if (file.get() < 0 && errno == EEXIST && attempt < 100) continue;
    if (file.get() < 0) Fail(path, "cannot create the report", errno);
    WriteInto(std::move(file), folder.fd.get(), name, path, content);
    return path;
  }
}

}  // namespace

fs::path RealPriceList(const fs::path& price_list) {
  std::error_code error;
  fs::path real = fs::canonical(price_list, error);
  return error ? price_list : real;
}

std::string ReportFileName(const std::tm& start) {
  char buffer[64];
  std::strftime(buffer, sizeof buffer, "importazione-%Y-%m-%d-%H%M%S", &start);
  return buffer;
}

// Written under a new name beside `file` and then renamed to it: opening `file` itself would
// write into whatever a link planted at that name points to.
void WriteReport(const fs::path& file, const std::string& content) {
  const std::string name = file.filename().string();
  if (name.empty() || name == "." || name == "..") Fail(file, "cannot create the report", EISDIR);
  const Descriptor folder = OpenFolder(file.has_parent_path() ? file.parent_path() : fs::path("."), file,
                                       "cannot create the report");
  std::string temporary;
  Descriptor written(-1);
  for (int attempt = 1; written.get() < 0; ++attempt) {
    temporary = "." + name + "." + std::to_string(::getpid()) + "-" + std::to_string(attempt);
    written = Descriptor(CreateNew(folder.get(), temporary));
    if (written.get() < 0 && (errno != EEXIST || attempt == 100)) Fail(file, "cannot create the report", errno);
  }
  WriteInto(std::move(written), folder.get(), temporary, file, content);
  if (::renameat(folder.get(), temporary.c_str(), folder.get(), name.c_str()) != 0) {
    const int error_number = errno;
    ::unlinkat(folder.get(), temporary.c_str(), 0);
    Fail(file, "cannot create the report", error_number);
  }
  ::fsync(folder.get());  // the name, durable as the content
}

fs::path IntendedReportPlace(const ReportPlace& place, const fs::path& price_list) {
  if (place.kind == ReportPlace::Kind::File) return place.file;
  return RealPriceList(price_list).parent_path() / engine::ToUtf8(kReportFolderName);
}

fs::path WriteReportAt(const ReportPlace& place, const fs::path& price_list, const std::tm& start,
                       const std::string& content) {
  if (place.kind == ReportPlace::Kind::File) {
    WriteReport(place.file, content);
    return place.file;
  }
  return WriteNewReport(price_list, start, content);
}

}  // namespace import
