// Text forms converted without the text where the result is known: see text_form_conversion.h.
#include "engine/jet/row/text_form_conversion.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "engine/jet/row/value_conversion.h"

namespace engine::jet {
namespace {

using u128 = unsigned __int128;

u128 PowerOfTen(int exponent) {
  u128 power = 1;
  for (int i = 0; i < exponent; ++i) power *= 10;
  return power;
}

// A number's text written with `written_in` reads back as written with `locale`: the same
// decimal separator, and no thousands separator that the text's exponent mark would pass for.
bool NumbersReadAsWritten(const TextLocale& written_in, const TextLocale& locale) {
  const char16_t point = written_in.decimal_separator;
  const char16_t group = locale.thousands_separator;
  return (point == u'.' || point == u',') && locale.decimal_separator == point && group != u'E' && group != u'e';
}

// The largest whole number whose text reads as an amount (ten-thousandths within 64 bits).
constexpr int64_t kLargestWholeAmount = std::numeric_limits<int64_t>::max() / 10000;

std::optional<Value> AmountWithoutText(const Value& value) {
  switch (value.type()) {
    case Value::Type::Currency:
      return value;
    case Value::Type::Integer:
      if (value.integer() > kLargestWholeAmount || value.integer() < -kLargestWholeAmount) return std::nullopt;
      return Value::Money(Currency{value.integer() * 10000});
    case Value::Type::Double:
      if (const std::optional<Currency> amount = AmountOfShownDigits(value.dbl())) return Value::Money(*amount);
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

}  // namespace

std::optional<Currency> AmountOfShownDigits(double number) {
  if (number == 0) return Currency{0};  // -0 too: its text is "0"
  if (!std::isfinite(number)) return std::nullopt;
  int binary_exponent = 0;
  const double fraction = std::frexp(std::fabs(number), &binary_exponent);  // in [0.5, 1)
  if (binary_exponent < -15 || binary_exponent > 36) return std::nullopt;
  // |number| = mantissa / 2^shift exactly, the mantissa of 53 bits, shift from 17 to 68.
  const auto mantissa = static_cast<uint64_t>(std::ldexp(fraction, 53));
  const int shift = 53 - binary_exponent;
  // The 15 significant digits as a whole number: |number| × 10^scale in [10^14, 10^15),
  // scale from 4 to 20 (so that the product stays below 2^120).
  int scale = 14 - static_cast<int>(std::floor(std::log10(std::fabs(number))));
  u128 digits = 0, rest = 0;
  for (int attempt = 0; attempt < 3; ++attempt) {
    const u128 scaled = static_cast<u128>(mantissa) * PowerOfTen(scale);
    digits = scaled >> shift;
    rest = scaled - (digits << shift);
    if (digits < PowerOfTen(14)) {
      ++scale;
    } else if (digits >= PowerOfTen(15)) {
      --scale;
    } else {
      break;
    }
  }
  if (digits < PowerOfTen(14) || digits >= PowerOfTen(15)) return std::nullopt;
  const u128 half = static_cast<u128>(1) << (shift - 1);
  if (rest == half) return std::nullopt;
  if (rest > half) ++digits;
  // Then to four decimals, half to even, as the text is read.
  const u128 unit = PowerOfTen(scale - 4);
  u128 amount = digits / unit;
  const u128 dropped = digits % unit;
  if (dropped * 2 > unit || (dropped * 2 == unit && amount % 2 == 1)) ++amount;
  const auto magnitude = static_cast<int64_t>(amount);  // below 2^36 × 10^4
  return Currency{number < 0 ? -magnitude : magnitude};
}

Value ConvertTextFormForColumn(const ColumnDefinition& column, const Value& value, const TextLocale& written_in,
                               const TextLocale& locale) {
  // A text's text form is the text itself.
  if (value.type() == Value::Type::Text) return ConvertForColumn(column, value, locale);
  if (column.type == ColumnType::Money && NumbersReadAsWritten(written_in, locale)) {
    if (std::optional<Value> amount = AmountWithoutText(value)) return *amount;
  }
  return ConvertForColumn(column, Value::Text(value.ToText(written_in)), locale);
}

}  // namespace engine::jet
