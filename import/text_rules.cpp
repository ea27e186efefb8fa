#include "import/text_rules.h"

namespace import {

namespace {
// The characters a file name may not hold, in the order each character is compared with them.
constexpr std::u16string_view kForbiddenInNames = u":\\/?*<>|\"";
}  // namespace

std::u16string CleanCategory(std::u16string_view text) {
  std::u16string cleaned;
  const size_t count = text.size() > kTextLimit ? kTextLimit : text.size();
  cleaned.reserve(count);
  for (size_t j = 0; j < count; ++j) {
    const char16_t c = text[j];
    cleaned += kForbiddenInNames.find(c) != std::u16string_view::npos ? u'-' : c;
  }
  return cleaned;
}

std::u16string ToSql(std::u16string& SqlStr) {
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
