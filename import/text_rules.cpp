#include "import/text_rules.h"

namespace import {

namespace {
// The characters a file name may not hold, in the order each character is compared with them.
// Every match becomes the same hyphen, so the order only matters for reading.
constexpr std::u16string_view kForbiddenInNames = u":\\/?*<>|\"";
constexpr char16_t kReplacement = u'-';
}  // namespace

std::u16string_view CutToLimit(std::u16string_view text) { return text.substr(0, kTextLimit); }

std::u16string CleanCategory(std::u16string_view text) {
  std::u16string cleaned(CutToLimit(text));
  for (char16_t& c : cleaned) {
    if (kForbiddenInNames.find(c) != std::u16string_view::npos) c = kReplacement;
  }
  return cleaned;
}

bool IsCleanCategory(std::u16string_view text) {
  return text.find_first_of(kForbiddenInNames) == std::u16string_view::npos;
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
