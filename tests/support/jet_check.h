// The engine's integrity check (`archivi check`) on a file, for tests that write databases.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "engine/jet/check/checker.h"
#include "engine/jet/storage/pager.h"

namespace testsupport {

// The checker's problems, one a line; empty when the file is sound.
inline std::string CheckProblems(const std::filesystem::path& file) {
  struct stat info {};
  if (stat(file.c_str(), &info) != 0) return "missing file";
  auto pager = engine::jet::Pager::Open(file, engine::OpenMode::ReadOnly);
  const engine::jet::ReadHold read(*pager);  // a writer elsewhere waits for the check
  if (stat(file.c_str(), &info) != 0) return "missing file";
  const engine::jet::CheckReport report = engine::jet::CheckDatabase(*pager, static_cast<uint64_t>(info.st_size));
  std::string lines;
  for (const std::string& problem : report.problems) lines += problem + "\n";
  return lines;
}

}  // namespace testsupport
