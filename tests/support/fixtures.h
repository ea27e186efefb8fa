// Where tests find the shared test files and the programs the build made.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace testsupport {

// The shared fixtures folder: $ARCHIVI_FIXTURES, else ../shared/fixtures beside the project.
// Empty when it is absent.
std::filesystem::path FixturesDir();

// A file of the shared fixtures, by its path below the folder.
std::filesystem::path Fixture(const std::string& relative);
// A file of the price-list fixtures (the folder listini/).
std::filesystem::path Listini(const std::string& name);

// The folder with the jet text sort-code tables, empty when absent.
std::filesystem::path SortCodesDir();

// The project's own folder (for files it ships, such as samples/).
std::filesystem::path SourceDir();

// Folder of the programs the build made (build/bin).
std::filesystem::path BinDir();

// True when running under CI, where a missing fixtures folder is a failure, not a skip.
bool RunningInCi();

// A fresh, empty temporary folder removed when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // Copies a file into the folder and returns the copy's path (writable).
  std::filesystem::path Copy(const std::filesystem::path& file) const;

 private:
  std::filesystem::path path_;
};

// Runs a shell command and returns its standard output; exit status in *status.
std::string RunCommand(const std::string& command, int* status = nullptr);

// A path in single quotes for the shell.
std::string Quoted(const std::filesystem::path& path);

// Runs the build's `archivi` with the given arguments (already quoted) and returns its
// standard output, and its standard error where `errors` sends it; exit status in *status.
std::string RunArchivi(const std::string& arguments, int* status, const std::string& errors = "2>&1");

// The npm package mdb-reader's dump of a table, in the dump format, for comparing an
// independent reader with ours. Its node_modules folder comes from $MDB_READER_DIR or
// build/node-tools/node_modules. Empty optional when mdb-reader is not installed; throws
// std::runtime_error when it fails on the file.
// (mdb-reader reads dates before 1899-12-30 differently: compare around those.)
std::optional<std::string> MdbReaderDump(const std::filesystem::path& file, const std::string& table);

// The rows of a CSV file as python3's csv module reads them, an independent reader: UTF-8
// with a byte-order mark, ';' between fields. Empty optional when python3 is not installed;
// throws std::runtime_error when it fails on the file.
std::optional<std::vector<std::vector<std::string>>> PythonCsvRows(const std::filesystem::path& file);

}  // namespace testsupport

// Skips the test (fails it under CI) when the shared fixtures are missing.
#define REQUIRE_FIXTURES()                                                  \
  do {                                                                      \
    if (::testsupport::FixturesDir().empty()) {                             \
      if (::testsupport::RunningInCi()) FAIL() << "shared fixtures missing"; \
      GTEST_SKIP() << "shared fixtures folder not found";                   \
    }                                                                       \
  } while (0)
