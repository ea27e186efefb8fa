// Building a Jet 4 row from its field values. Layout, from the row's first byte:
//   u16 max_cols | fixed area (each fixed column at 2 + its offset) | variable data, in
//   var-slot order | u16 eod | u16 var offsets, slot n-1 first | u16 n | null mask
// (no eod/offsets/n when the table has no variable columns). Null-mask bit k (LSB first) is
// column number k: 1 = value present; a yes/no column's bit is its value and it has no bytes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/jet/format/table_definition.h"
#include "engine/value.h"

namespace engine::jet {

// One column's contribution to a row: whether it is present (not Null; for yes/no columns
// the value itself) and its bytes (fixed columns: exactly the column's length).
struct EncodedField {
  bool present = false;
  std::string bytes;
};

// The bytes of a fixed-length column's value (a value already converted for the column).
std::string EncodeFixedValue(const ColumnDefinition& column, const Value& value);

// Text as Jet 4 stores it: "compressed Unicode" (FF FE, one byte a character) when the column
// allows it and every character is in U+0001..U+00FF, else UTF-16LE.
std::string EncodeText(const ColumnDefinition& column, std::u16string_view text);

// The row's bytes; `fields` is indexed by position in table.columns. Throws engine::Error
// when the row is longer than a data page can hold.
std::string EncodeRow(const TableDefinition& table, const std::vector<EncodedField>& fields);

}  // namespace engine::jet
