// Table and column names compare as Jet compares them: without regard to letter case.
#pragma once

#include <string>
#include <string_view>

namespace engine::jet {

// Upper case of a character for name and text comparison: ASCII, Latin-1, Latin Extended-A,
// Greek and Cyrillic (the letters Jet files here hold).
char16_t FoldCase(char16_t c);

bool SameName(std::u16string_view a, std::u16string_view b);

}  // namespace engine::jet
