#include "import/text_rules.h"

#include <array>

namespace import {

namespace {
// The characters a file name may not hold, in the order each character is compared with them.
// Every match becomes the same hyphen, so the order only matters for reading.
constexpr std::u16string_view kForbiddenInNames = u":\\/?*<>|\"";
constexpr char16_t kReplacement = u'-';

// The same characters, all of them ASCII, marked in a table: every category of a run is
// looked through a character at a time.
constexpr std::array<bool, 128> kForbiddenAscii = [] {
  std::array<bool, 128> forbidden{};
  for (char16_t c : kForbiddenInNames) forbidden[c] = true;
  return forbidden;
}();

bool IsForbiddenInNames(char16_t c) { return c < kForbiddenAscii.size() && kForbiddenAscii[c]; }

}  // namespace

std::u16string_view CutToLimit(std::u16string_view text) { return text.substr(0, kTextLimit); }

std::u16string CleanCategory(std::u16string_view text) {
  std::u16string cleaned(CutToLimit(text));
  for (char16_t& c : cleaned) {
    if (IsForbiddenInNames(c)) c = kReplacement;
  }
  return cleaned;
}

bool IsCleanCategory(std::u16string_view text) {
  for (char16_t c : text) {
    if (IsForbiddenInNames(c)) return false;
  }
  return true;
}

std::u16string ToSql(std::u16string& SqlStr) {
  // Most codes hold no apostrophe: they stand in the statement as they are.
  if (SqlStr.find(u'\'') == std::u16string::npos) return SqlStr;
  std::u16string quoted;
  quoted.reserve(SqlStr.size() + 8);
  for (char16_t c : SqlStr) {
    quoted += c;
    if (c == u'\'') quoted += u'\'';
  }
  SqlStr = quoted;
  return quoted;
}

}  // namespace import
