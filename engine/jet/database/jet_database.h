// A Jet 3 or Jet 4 database file as an engine::Database.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/database/database.h"

namespace engine::jet {

std::unique_ptr<engine::Database> OpenJetDatabase(const std::filesystem::path& path, OpenMode mode,
                                                  const TextLocale& locale);

// A read-only database held in memory (tests, fuzzing); `name` stands for the file in errors.
std::unique_ptr<engine::Database> OpenJetDatabaseFromBytes(std::vector<uint8_t> bytes, const std::string& name,
                                                           const TextLocale& locale);

}  // namespace engine::jet
