#include "engine/excel/excel_database.h"

#include "engine/error.h"

namespace engine::excel {

// Placeholder until the workbook reader lands.
std::unique_ptr<engine::Database> OpenExcelDatabase(const std::filesystem::path& path, const TextLocale&) {
  throw Error(path.string(), "workbooks are not readable yet");
}

}  // namespace engine::excel
