// Encoding values for a Jet 4 row: each column's value becomes an EncodedField, which
// EncodeRow (row_frame.h) puts together into the row.
// Layout: FORMAT.md, "Values in rows" and "Text".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/jet/format/table_definition.h"
#include "engine/jet/row/row_frame.h"
#include "engine/value/value.h"

namespace engine::jet {

// The bytes of a fixed-length column's value (a value already converted for the column).
std::string EncodeFixedValue(const ColumnDefinition& column, const Value& value);

// Text as Jet 4 stores it: "compressed Unicode" (FF FE, one byte a character) when the column
// allows it and every character is in U+0001..U+00FF, else UTF-16LE.
std::string EncodeText(const ColumnDefinition& column, std::u16string_view text);

}  // namespace engine::jet
