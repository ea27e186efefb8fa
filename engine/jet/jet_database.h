// A Jet 3 or Jet 4 database file as an engine::Database.
#pragma once

#include <filesystem>
#include <memory>

#include "engine/database.h"

namespace engine::jet {

std::unique_ptr<engine::Database> OpenJetDatabase(const std::filesystem::path& path, OpenMode mode,
                                                  const TextLocale& locale);

}  // namespace engine::jet
