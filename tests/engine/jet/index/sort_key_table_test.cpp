// The sort-code table built into the engine must agree with the source files it was
// generated from, for every character: the key vectors sample the table, this walks all of
// it. A one-character text key shows the character's inline code (and accent weight).

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/jet/index/sort_key.h"
#include "tests/support/fixtures.h"

namespace engine::jet {
namespace {

std::string HexBytes(std::string hex) {
  if (hex.size() % 2) hex.insert(0, "0");
  std::string bytes;
  for (size_t i = 0; i < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

std::vector<std::string> SourceLines() {
  std::vector<std::string> lines;
  for (const char* name : {"index_codes_genleg.txt", "index_codes_ext_genleg.txt"}) {
    std::ifstream in(testsupport::SortCodesDir() / name);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
  }
  return lines;
}

TEST(SortCodeTable, EveryCharacterKeysAsItsSourceLineSays) {
  if (testsupport::SortCodesDir().empty()) GTEST_SKIP() << "sort-code tables not found";
  const std::vector<std::string> lines = SourceLines();
  ASSERT_EQ(lines.size(), 0x10000u - 0x800u);

  int checked = 0, mismatches = 0;
  std::ostringstream report;
  char16_t c = 0;
  for (const std::string& line : lines) {
    std::string expected;
    const std::string fields = line.substr(1);
    const size_t comma = fields.find(',');
    switch (line[0]) {
      case 'X':
        expected = std::string("\x7f\x01\x00", 3);
        break;
      case 'S':
        expected = "\x7f" + HexBytes(fields) + std::string("\x01\x00", 2);
        break;
      case 'I': {
        std::string extra = HexBytes(fields.substr(comma + 1));
        if (static_cast<uint8_t>(extra.back()) <= 2) break;  // trimmed weights: not a table check
        expected = "\x7f" + HexBytes(fields.substr(0, comma)) + "\x01" + extra + std::string(1, '\0');
        break;
      }
      default:
        break;  // U, P and Z keys are covered by the key vectors
    }
    if (!expected.empty() && c != u' ') {  // a lone space is a trailing one, dropped
      std::string key;
      AppendTextKey(std::u16string(1, c), true, &key);
      ++checked;
      if (key != expected && ++mismatches <= 5) report << "\n  U+" << std::hex << static_cast<int>(c) << std::dec << " line '" << line << "'";
    }
    c = static_cast<char16_t>(c == 0xD7FF ? 0xE000 : c + 1);
  }
  EXPECT_EQ(mismatches, 0) << report.str();
  EXPECT_GT(checked, 60000);
}

}  // namespace
}  // namespace engine::jet
