// Names come from BOUNDSHEET records (sheet names) and from the header row's cells; this
// file only shapes them into Jet's table and field names.
#include "engine/excel/table_names.h"

#include <unordered_set>

#include "engine/text/case_fold.h"

namespace engine::excel {
namespace {

bool NeedsQuotes(std::u16string_view name) {
  for (char16_t c : name) {
    bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' ||
                 c >= 0x00C0;  // letters of other alphabets count as letters
    if (!plain || c == 0x00D7 || c == 0x00F7) return true;
  }
  return false;
}

std::u16string Ascii(const std::string& s) { return std::u16string(s.begin(), s.end()); }

}  // namespace

std::u16string SheetTableName(std::u16string_view sheet_name) {
  std::u16string name = std::u16string(sheet_name) + u"$";
  if (!NeedsQuotes(sheet_name)) return name;
  std::u16string quoted = u"'";
  for (char16_t c : name) {
    quoted += c;
    if (c == u'\'') quoted += u'\'';
  }
  return quoted + u"'";
}

std::u16string UnquoteTableName(std::u16string_view name) {
  if (name.size() < 2 || name.front() != u'\'' || name.back() != u'\'') return std::u16string(name);
  std::u16string plain;
  std::u16string_view inside = name.substr(1, name.size() - 2);
  for (size_t i = 0; i < inside.size(); ++i) {
    plain += inside[i];
    if (inside[i] == u'\'' && i + 1 < inside.size() && inside[i + 1] == u'\'') ++i;
  }
  return plain;
}

std::vector<std::u16string> MakeFieldNames(const std::vector<std::u16string>& headers) {
  std::vector<std::u16string> names;
  std::unordered_set<std::u16string> used;
  names.reserve(headers.size());
  for (size_t i = 0; i < headers.size(); ++i) {
    std::u16string base = headers[i].empty() ? Ascii("F" + std::to_string(i + 1)) : headers[i];
    if (base.size() > kMaxFieldNameLength) base.resize(kMaxFieldNameLength);
    std::u16string name = base;
    for (int n = 1; used.contains(FoldCase(name)); ++n) {
      std::u16string suffix = Ascii(std::to_string(n));
      name = base.substr(0, kMaxFieldNameLength - suffix.size()) + suffix;
    }
    used.insert(FoldCase(name));
    names.push_back(std::move(name));
  }
  return names;
}

}  // namespace engine::excel
