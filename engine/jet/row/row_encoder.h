// Encoding values for a row: each column's value becomes an EncodedField, which EncodeRow
// (row_frame.h) puts together into the row; texts are text_codec.h's.
// Layout: FORMAT.md, "Values in rows" and "Text".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/jet/format/table_definition.h"
#include "engine/jet/row/row_frame.h"
#include "engine/jet/row/text_codec.h"
#include "engine/value/value.h"

namespace engine::jet {

// The bytes of a fixed-length column's value (a value already converted for the column).
std::string EncodeFixedValue(const ColumnDefinition& column, const Value& value);

}  // namespace engine::jet
