// Text forms converted without the text where the result is known: see text_form_conversion.h.
#include "engine/jet/row/text_form_conversion.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

#include "engine/jet/row/value_conversion.h"

namespace engine::jet {
namespace {

using u128 = unsigned __int128;

// 10^0 to 10^20.
constexpr std::array<u128, 21> kPowersOfTen = [] {
  std::array<u128, 21> powers{};
  powers[0] = 1;
  for (size_t i = 1; i < powers.size(); ++i) powers[i] = powers[i - 1] * 10;
  return powers;
}();

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
    case Value::Type::Currency: return value;
    case Value::Type::Integer:
      if (value.integer() > kLargestWholeAmount || value.integer() < -kLargestWholeAmount) return std::nullopt;
      return Value::Money(Currency{value.integer() * 10000});
    case Value::Type::Double:
      if (const std::optional<Currency> amount = AmountOfShownDigits(value.dbl())) return Value::Money(*amount);
      return std::nullopt;
    default: return std::nullopt;
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
  // The 15 significant digits as a whole number: |number| × 10^scale in [10^14, 10^15). The
  // scale starts from the binary exponent's estimate of the decimal one (1233 / 4096 is a
  // little under log10(2)) and moves by one at a time; it stays within 4 to 20, so that the
  // product stays below 2^120.
  int scale = 14 - (((binary_exponent - 1) * 1233) >> 12);
  u128 digits = 0, rest = 0;
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (scale < 4 || scale > 20) return std::nullopt;
    const u128 scaled = static_cast<u128>(mantissa) * kPowersOfTen[static_cast<size_t>(scale)];
    digits = scaled >> shift;
    rest = scaled - (digits << shift);
    if (digits < kPowersOfTen[14]) {
      ++scale;
    } else if (digits >= kPowersOfTen[15]) {
      --scale;
    } else {
      break;
    }
  }
  if (digits < kPowersOfTen[14] || digits >= kPowersOfTen[15]) return std::nullopt;
  const u128 half = static_cast<u128>(1) << (shift - 1);
  if (rest == half) return std::nullopt;
  // Below 10^15 (or equal to it, when rounded up): 64 bits hold it from here on.
  auto shown = static_cast<uint64_t>(digits) + (rest > half ? 1 : 0);
  // Then to four decimals, half to even, as the text is read.
  const auto unit = static_cast<uint64_t>(kPowersOfTen[static_cast<size_t>(scale - 4)]);
  uint64_t amount = shown / unit;
  const uint64_t dropped = shown % unit;
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
