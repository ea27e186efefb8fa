// An Excel 97-2003 workbook (.xls) as a read-only engine::Database: sheets and named ranges
// as tables.
// Layout: FORMAT.md, layer "database".
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "engine/database/database.h"

namespace engine::excel {

std::unique_ptr<engine::Database> OpenExcelDatabase(const std::filesystem::path& path,
                                                    const TextLocale& locale);

// The same from bytes already in memory; `path` only names the file in errors.
std::unique_ptr<engine::Database> OpenExcelDatabase(std::vector<uint8_t> bytes, const std::filesystem::path& path,
                                                    const TextLocale& locale);

}  // namespace engine::excel
