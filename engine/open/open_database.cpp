#include "engine/open/open_database.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "engine/database/database.h"
#include "engine/base/error.h"
#include "engine/excel/excel_database.h"
#include "engine/jet/database/jet_database.h"

namespace engine {
namespace {

// The common reasons a file cannot be opened at all, told apart before any reader runs.
void CheckReadable(const std::filesystem::path& path) {
  std::error_code error;
  auto status = std::filesystem::status(path, error);
  if (!std::filesystem::exists(status)) {
    throw Error(path.string(), "the file does not exist", ErrorKind::NotFound);
  }
  if (std::filesystem::is_directory(status)) {
    throw Error(path.string(), "this is a folder, not a file", ErrorKind::Damaged);
  }
  std::ifstream probe(path, std::ios::binary);
  if (!probe) {
    const int read_error = errno;
    throw Error(path.string(), std::string("the file cannot be read: ") + std::strerror(read_error),
                KindOfSystemError(read_error));
  }
}

}  // namespace

std::unique_ptr<Database> OpenDatabase(const std::filesystem::path& path, std::u16string_view connect,
                                       OpenMode mode, const TextLocale& locale) {
  CheckReadable(path);
  if (connect.starts_with(u"Excel")) {
    if (mode == OpenMode::ReadWrite) throw Error(path.string(), "workbooks are opened read-only", ErrorKind::ReadOnly);
    return excel::OpenExcelDatabase(path, locale);
  }
  return jet::OpenJetDatabase(path, mode, locale);
}

}  // namespace engine
