// The text rules of the import: the cut of text columns, category-name cleaning and SQL
// literal quoting. Texts are UTF-16; lengths and cuts count 16-bit units.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace import {

// The one length limit shared by the cut destination columns and category cleaning.
inline constexpr size_t kTextLimit = 50;

// The first kTextLimit characters of `text` (all of it when it is shorter).
std::u16string_view CutToLimit(std::u16string_view text);

// The first kTextLimit characters of `text`, with each of : \ / ? * < > | " replaced by '-'.
std::u16string CleanCategory(std::u16string_view text);
// Whether `text` holds none of the characters CleanCategory replaces.
bool IsCleanCategory(std::u16string_view text);

// Doubles every apostrophe so the text can stand inside an SQL string literal. The caller's
// text is replaced by the quoted one, which is also returned.
std::u16string ToSql(std::u16string& SqlStr);

}  // namespace import
