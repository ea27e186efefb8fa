#include "import/report_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/error.h"
#include "engine/value.h"
#include "import/italian_texts.h"

namespace import {
namespace {

[[noreturn]] void Fail(const std::filesystem::path& path, const std::string& what, int error_number) {
  throw engine::Error(path.string(), what + ": " + std::strerror(error_number),
                      engine::KindOfSystemError(error_number));
}

// Writes everything and makes it durable: a report that says what a run did must not vanish
// with a power cut while the price list keeps the run's articles.
void WriteAll(int fd, const std::filesystem::path& path, const std::string& content) {
  for (size_t done = 0; done < content.size();) {
    const ssize_t written = ::write(fd, content.data() + done, content.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) Fail(path, "cannot write the report", errno);
    done += static_cast<size_t>(written);
  }
  if (::fsync(fd) != 0) Fail(path, "cannot write the report", errno);
}

void WriteInto(int fd, const std::filesystem::path& path, const std::string& content) {
  try {
    WriteAll(fd, path, content);
  } catch (const engine::Error&) {
    ::close(fd);
    ::unlink(path.c_str());
    throw;
  }
  if (::close(fd) != 0) {
    const int error_number = errno;
    ::unlink(path.c_str());
    Fail(path, "cannot write the report", error_number);
  }
}

}  // namespace

std::filesystem::path ReportFolder(const std::filesystem::path& price_list) {
  std::error_code error;
  const std::filesystem::path real = std::filesystem::canonical(price_list, error);
  if (error) Fail(price_list, "cannot find the price list", error.value());
  const std::filesystem::path data_folder = real.parent_path();
  const std::filesystem::path folder = data_folder / engine::ToUtf8(kReportFolderName);
  struct stat data {};
  if (::stat(data_folder.c_str(), &data) != 0) Fail(data_folder, "cannot read the folder", errno);
  const mode_t mode = data.st_mode & 07777;
  if (::mkdir(folder.c_str(), mode) != 0) {
    if (errno == EEXIST) return folder;
    Fail(folder, "cannot create the report folder", errno);
  }
  // mkdir leaves out what the umask masks, and the group is the user's unless the data folder
  // is setgid: the clerks' group must be able to write here as in the data folder. A user
  // outside that group cannot hand the folder to it; the folder then stays the user's.
  if (::chown(folder.c_str(), static_cast<uid_t>(-1), data.st_gid) != 0) return folder;
  ::chmod(folder.c_str(), mode);
  return folder;
}

std::string ReportFileName(const std::tm& start) {
  char buffer[64];
  std::strftime(buffer, sizeof buffer, "importazione-%Y-%m-%d-%H%M%S", &start);
  return buffer;
}

std::filesystem::path WriteNewReport(const std::filesystem::path& folder, const std::tm& start,
                                     const std::string& content) {
  const std::string stem = ReportFileName(start);
  for (int attempt = 1;; ++attempt) {
    const std::filesystem::path path = folder / (stem + (attempt == 1 ? "" : "-" + std::to_string(attempt)) + ".csv");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST && attempt < 100) continue;
    if (fd < 0) Fail(path, "cannot create the report", errno);
    WriteInto(fd, path, content);
    return path;
  }
}

void WriteReport(const std::filesystem::path& file, const std::string& content) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) Fail(file, "cannot create the report", errno);
  WriteInto(fd, file, content);
}

std::filesystem::path IntendedReportPlace(const ReportPlace& place, const std::filesystem::path& price_list) {
  if (place.kind == ReportPlace::Kind::File) return place.file;
  std::error_code error;
  const std::filesystem::path real = std::filesystem::canonical(price_list, error);
  return (error ? price_list : real).parent_path() / engine::ToUtf8(kReportFolderName);
}

std::filesystem::path WriteReportAt(const ReportPlace& place, const std::filesystem::path& price_list,
                                    const std::tm& start, const std::string& content) {
  if (place.kind == ReportPlace::Kind::File) {
    WriteReport(place.file, content);
    return place.file;
  }
  return WriteNewReport(ReportFolder(price_list), start, content);
}

}  // namespace import
