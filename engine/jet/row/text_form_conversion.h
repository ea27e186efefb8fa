// Converting the text form of a value to what a Jet column stores: the result of
// ConvertForColumn(column, Value::Text(value.ToText(written_in)), locale), refusals included.
// Where that result is known exactly from the value itself, it is worked out without writing
// the value out and reading it back: an amount from a double (its 15 significant digits,
// rounded half to even at the fourth decimal, as the text would read), from a whole number or
// from an amount, and a text as it is. Everything else goes through the text.
// Stored forms: FORMAT.md, "Values in rows".
#pragma once

#include <optional>

#include "engine/jet/format/table_definition.h"
#include "engine/text/text_locale.h"
#include "engine/value/value.h"

namespace engine::jet {

Value ConvertTextFormForColumn(const ColumnDefinition& column, const Value& value, const TextLocale& written_in,
                               const TextLocale& locale);

// The amount the text form of `number` (15 significant digits) reads as, half to even at the
// fourth decimal, from the double's exact binary value; nothing for magnitudes outside
// 2^-16 .. 2^36, for infinities and NaN, and where the 15th digit was a tie (which the text's
// own rounding settles), so that the text decides those.
std::optional<Currency> AmountOfShownDigits(double number);

}  // namespace engine::jet
