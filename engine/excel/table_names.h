// How tables and fields of a workbook are named, as Jet's Excel driver names them: a sheet
// is "Name$", quoted as 'Name$' when the name has characters other than letters, digits
// and '_'; field names come from the header row, "F<n>" for a blank header, numbered
// when repeated, at most 64 characters.
// Layout: FORMAT.md, layer "tables".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace engine::excel {

constexpr size_t kMaxFieldNameLength = 64;

// The listed name of a worksheet's table: Foglio1$, 'Listino 2024$', 'O''Reilly$'.
std::u16string SheetTableName(std::u16string_view sheet_name);

// The name without Jet's quotes ('O''Reilly$' -> O'Reilly$); other names as they are.
std::u16string UnquoteTableName(std::u16string_view name);

// Field names from the header texts (empty for a blank header cell), unique without
// regard to letter case.
std::vector<std::u16string> MakeFieldNames(const std::vector<std::u16string>& headers);

}  // namespace engine::excel
