// Helpers shared by the Jet reader tests: opening fixture databases and reading files.
#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/jet/database/jet_database.h"
#include "tests/support/fixtures.h"

namespace jettest {

inline std::filesystem::path Fixture(const std::string& relative) { return testsupport::FixturesDir() / relative; }

inline std::unique_ptr<engine::Database> OpenFixture(const std::string& relative) {
  return engine::jet::OpenJetDatabase(Fixture(relative), engine::OpenMode::ReadOnly, engine::TextLocale::English());
}

inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  const std::string text = ReadText(path);
  return std::vector<uint8_t>(text.begin(), text.end());
}

inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (true) {
    const size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return fields;
}

}  // namespace jettest
