// An Excel 97-2003 workbook (.xls) as a read-only engine::Database: sheets and named ranges
// as tables.
#pragma once

#include <filesystem>
#include <memory>

#include "engine/database.h"

namespace engine::excel {

std::unique_ptr<engine::Database> OpenExcelDatabase(const std::filesystem::path& path,
                                                    const TextLocale& locale);

}  // namespace engine::excel
