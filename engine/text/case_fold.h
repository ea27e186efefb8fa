// Letter case as Jet compares table, column and index names (and texts in LIKE patterns): the
// letters of ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic, the ones files here hold.
// Database and workbook names compare alike.
#pragma once

#include <string>
#include <string_view>

namespace engine {

// The capital or small letter of a letter; any other character as it is.
char16_t UpperCase(char16_t c);
char16_t LowerCase(char16_t c);

bool SameName(std::u16string_view a, std::u16string_view b);

// The form names are looked up and sorted by: small letters, equal for exactly the names
// SameName takes as the same.
std::u16string FoldCase(std::u16string_view name);

// ASCII letters only, for names a format fixes (compound file streams, files beside a database).
bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b);

}  // namespace engine
