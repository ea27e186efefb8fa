#include "tests/support/fixtures.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testsupport {

fs::path FixturesDir() {
  if (const char* env = std::getenv("ARCHIVI_FIXTURES"); env && *env) {
    return fs::is_directory(env) ? fs::path(env) : fs::path();
  }
  fs::path dir = fs::path(ARCHIVI_SOURCE_DIR) / ".." / "shared" / "fixtures";
  return fs::is_directory(dir) ? fs::canonical(dir) : fs::path();
}

fs::path Fixture(const std::string& relative) { return FixturesDir() / relative; }

fs::path Listini(const std::string& name) { return FixturesDir() / "listini" / name; }

fs::path SortCodesDir() {
  fs::path dir = fs::path(ARCHIVI_SOURCE_DIR) / ".." / "shared" / "jet-sort-codes";
  return fs::is_directory(dir) ? fs::canonical(dir) : fs::path();
}

fs::path SourceDir() { return fs::path(ARCHIVI_SOURCE_DIR); }

fs::path BinDir() { return fs::path(ARCHIVI_BIN_DIR); }

bool RunningInCi() {
  const char* ci = std::getenv("CI");
  return ci && std::string(ci) == "true";
}

TempDir::TempDir() {
  std::random_device random;
  for (;;) {
    path_ = fs::temp_directory_path() / ("archivi-test-" + std::to_string(random()));
    if (fs::create_directory(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

fs::path TempDir::Copy(const fs::path& file) const {
  fs::path target = path_ / file.filename();
  fs::copy_file(file, target, fs::copy_options::overwrite_existing);
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
  return target;
}

std::string RunCommand(const std::string& command, int* status) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) {
    if (status) *status = -1;
    return output;
  }
  std::array<char, 65536> buffer;
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), n);
  int rc = pclose(pipe);
  if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return output;
}

std::string Quoted(const fs::path& path) {
  std::string quoted = "'";
  for (char c : path.string()) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string RunArchivi(const std::string& arguments, int* status, const std::string& errors) {
  return RunCommand("LC_ALL=C.UTF-8 " + Quoted(BinDir() / "archivi") + " " + arguments + " " + errors, status);
}

std::optional<std::string> MdbReaderDump(const fs::path& file, const std::string& table) {
  fs::path modules;
  if (const char* env = std::getenv("MDB_READER_DIR"); env && *env) {
    modules = env;
  } else {
    modules = fs::path(ARCHIVI_SOURCE_DIR) / "build" / "node-tools" / "node_modules";
  }
  if (!fs::is_directory(modules / "mdb-reader")) return std::nullopt;
  const fs::path script = fs::path(ARCHIVI_SOURCE_DIR) / "tests" / "support" / "mdb_reader_dump.js";
  int status = 0;
  std::string out =
      RunCommand("node " + Quoted(script) + " " + Quoted(modules) + " " + Quoted(file) + " " + Quoted(table), &status);
  if (status != 0) {
    throw std::runtime_error("mdb-reader could not read table " + table + " of " + file.string() +
                             " (exit status " + std::to_string(status) + ")");
  }
  return out;
}

std::optional<std::vector<std::vector<std::string>>> PythonCsvRows(const fs::path& file) {
  int status = 0;
  RunCommand("command -v python3 >/dev/null", &status);
  if (status != 0) return std::nullopt;
  // Fields and rows come back between the ASCII unit and record separators, which no report
  // holds.
  const std::string script =
      "import csv, sys\n"
      "with open(sys.argv[1], encoding='utf-8-sig', newline='') as f:\n"
      "    rows = list(csv.reader(f, delimiter=';'))\n"
      "sys.stdout.write('\\x1e'.join('\\x1f'.join(row) for row in rows))\n";
  const std::string out = RunCommand("python3 -c " + Quoted(script) + " " + Quoted(file), &status);
  if (status != 0) throw std::runtime_error("python3 could not read " + file.string() + " as CSV");
  std::vector<std::vector<std::string>> rows;
  if (out.empty()) return rows;
  for (size_t start = 0;;) {
    const size_t end = out.find('\x1e', start);
    const std::string row = out.substr(start, end - start);
    std::vector<std::string>& fields = rows.emplace_back();
    for (size_t from = 0; !row.empty();) {  // an empty line has no field
      const size_t to = row.find('\x1f', from);
      fields.push_back(row.substr(from, to - from));
      if (to == std::string::npos) break;
      from = to + 1;
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return rows;
}

}  // namespace testsupport
