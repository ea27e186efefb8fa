// Converting a value written into a Jet column to the value the column stores, as Jet does
// on an assignment: texts are read with the database's locale (numbers, currency, dates,
// flags), numbers are rounded to the column's precision and checked against its range.
// Nothing here touches the file.
// Stored forms and ranges: FORMAT.md, "Values in rows".
#pragma once

#include "engine/jet/format/table_definition.h"
#include "engine/text/text_locale.h"
#include "engine/value/value.h"

namespace engine::jet {

// The stored form of `value` for `column`: Null stays Null; a text column gets a Text, a
// byte/integer/long column an Integer, currency a Money, single a Single, double a Double,
// date a DateTime, yes/no a Flag, binary and OLE Bytes, GUID an Id, memo a Text, decimal a
// Numeric at the column's scale (rounded half to even, exactly: texts and decimals never pass
// through a double). Throws engine::Error (no file, kind InvalidValue) with a reason naming
// the column when the value does not convert, is out of range (a decimal beyond the column's
// precision) or is too long.
Value ConvertForColumn(const ColumnDefinition& column, const Value& value, const TextLocale& locale);
// The same for a value the caller gives up: a text that already fits its column is kept as
// it is, not copied.
Value ConvertForColumn(const ColumnDefinition& column, Value&& value, const TextLocale& locale);

}  // namespace engine::jet
