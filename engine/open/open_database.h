// Opens either kind of archive. This folder sits above both engines so that neither the shared
// engine code nor either engine depends on the other.
#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

#include "engine/database/database.h"
#include "engine/database/open_mode.h"
#include "engine/text/text_locale.h"

namespace engine {

// Opens an archive by its connect string: "Excel 8.0;" a workbook, anything else ("Access
// 2000;", "") a Jet database. The locale converts texts written into typed columns.
std::unique_ptr<Database> OpenDatabase(const std::filesystem::path& path, std::u16string_view connect,
                                       OpenMode mode, const TextLocale& locale);

}  // namespace engine
