#include "engine/database.h"
#include "engine/error.h"
#include "engine/excel/excel_database.h"
#include "engine/jet/jet_database.h"

namespace engine {

std::unique_ptr<Database> OpenDatabase(const std::filesystem::path& path, std::u16string_view connect,
                                       OpenMode mode, const TextLocale& locale) {
  if (connect.starts_with(u"Excel")) {
    if (mode == OpenMode::ReadWrite) throw Error(path.string(), "workbooks are opened read-only");
    return excel::OpenExcelDatabase(path, locale);
  }
  return jet::OpenJetDatabase(path, mode, locale);
}

}  // namespace engine
