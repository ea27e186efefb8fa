#include "engine/jet/row/value_conversion.h"

#include <algorithm>
#include <cmath>
#include <charconv>
#include <limits>
#include <string>

#include "engine/base/error.h"
#include "engine/jet/row/decimal_field.h"
#include "engine/text/code_page.h"

namespace engine::jet {
namespace {

std::string Quoted(const std::u16string& text) {
  std::string utf8 = ToUtf8(text);
  if (utf8.size() > 60) utf8 = utf8.substr(0, 57) + "...";
  return "\"" + utf8 + "\"";
}

// The value itself is added by ConvertForColumn, which has it in its original form.
[[noreturn]] void Refuse(const ColumnDefinition& column, Refusal refusal, const std::string& reason) {
  Error error("", "column \"" + ToUtf8(column.name) + "\": " + reason, ErrorKind::InvalidValue);
  throw error.Concerning(ToUtf8(column.name), {}, refusal);
}

const char* TypeName(ColumnType type) {
  switch (type) {
    case ColumnType::Boolean: return "a yes/no value";
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long: return "a whole number";
    case ColumnType::Money: return "an amount";
    case ColumnType::Float:
    case ColumnType::Double:
    case ColumnType::Numeric: return "a number";
    case ColumnType::DateTime: return "a date";
    case ColumnType::Guid: return "a replication id";
    default: return "a value of the column's type";
  }
}

// A value as a double, for numeric targets; texts go through the locale.
double AsNumber(const ColumnDefinition& column, const Value& value, const TextLocale& locale) {
  switch (value.type()) {
    case Value::Type::Integer: return static_cast<double>(value.integer());
    case Value::Type::Currency: return static_cast<double>(value.currency().ten_thousandths) / 10000.0;
    case Value::Type::Single: return value.single();
    case Value::Type::Double: return value.dbl();
    case Value::Type::Date: return value.date().days;
    case Value::Type::Flag: return value.flag() ? -1.0 : 0.0;  // Jet's True is -1
    case Value::Type::Decimal: {
      const Decimal& d = value.decimal();
      double v = static_cast<double>(d.magnitude) / std::pow(10.0, d.scale);
      return d.negative ? -v : v;
    }
    case Value::Type::Text: {
      auto number = ParseNumber(value.text(), locale);
      if (!number) Refuse(column, Refusal::NotANumber, Quoted(value.text()) + " is not " + TypeName(column.type));
      return *number;
    }
    default:
      Refuse(column, Refusal::WrongType,
             std::string("this kind of value cannot be stored as ") + TypeName(column.type));
  }
}

Value ToWholeNumber(const ColumnDefinition& column, const Value& value, const TextLocale& locale) {
  int64_t lo, hi;
  switch (column.type) {
    case ColumnType::Byte: lo = 0, hi = 255; break;
    case ColumnType::Integer: lo = -32768, hi = 32767; break;
    default: lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max(); break;
  }
  int64_t result;
  if (value.type() == Value::Type::Integer) {
    result = value.integer();
  } else {
    // Jet rounds half to even when a fraction goes into a whole-number column.
    const double rounded = std::nearbyint(AsNumber(column, value, locale));
    if (!(rounded >= static_cast<double>(lo) && rounded <= static_cast<double>(hi))) {
      Refuse(
          column, Refusal::OutOfRange,
          Quoted(value.ToText(locale)) + " is out of range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")");
    }
    result = static_cast<int64_t>(rounded);
  }
  if (result < lo || result > hi) {
    Refuse(column, Refusal::OutOfRange,
           std::to_string(result) + " is out of range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")");
  }
  return Value::Integer(result);
}

Value ToMoney(const ColumnDefinition& column, const Value& value, const TextLocale& locale) {
  std::optional<Currency> amount;
  if (value.type() == Value::Type::Currency) return value;
  if (value.type() == Value::Type::Text) {
    amount = ParseCurrency(value.text(), locale);
    if (!amount) {
      if (ParseNumber(value.text(), locale))
        Refuse(column, Refusal::OutOfRange, Quoted(value.text()) + " is out of range for an amount");
      Refuse(column, Refusal::NotANumber, Quoted(value.text()) + " is not an amount");
    }
    return Value::Money(*amount);
  }
  if (value.type() == Value::Type::Decimal) {
    // Exact, half to even at the fourth decimal: no detour through a double.
    const std::optional<Decimal> at_four = RescaleDecimal(value.decimal(), 4);
    const unsigned __int128 limit =
        static_cast<unsigned __int128>(std::numeric_limits<int64_t>::max()) + (at_four && at_four->negative);
    if (!at_four || at_four->magnitude > limit)
      Refuse(column, Refusal::OutOfRange, Quoted(value.ToText(locale)) + " is out of range for an amount");
    const uint64_t magnitude = static_cast<uint64_t>(at_four->magnitude);
    return Value::Money(
        Currency{at_four->negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude)});
  }
  if (value.type() == Value::Type::Integer) {
    const int64_t v = value.integer();
    if (v > std::numeric_limits<int64_t>::max() / 10000 || v < std::numeric_limits<int64_t>::min() / 10000) {
      Refuse(column, Refusal::OutOfRange, std::to_string(v) + " is out of range for an amount");
    }
    return Value::Money(Currency{v * 10000});
  }
  // Through the decimal digits the number shows, so that 12.34565 rounds as written (half to
  // even at the fourth decimal) rather than by its binary approximation.
  const double number = AsNumber(column, value, locale);
  char buffer[64];
  const auto written = std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::general, 15);
  TextLocale plain;
  plain.decimal_separator = u'.';
  plain.thousands_separator = u'\0';
  const std::string ascii(buffer, written.ptr);
  amount = ParseCurrency(std::u16string(ascii.begin(), ascii.end()), plain);
  if (!amount) Refuse(column, Refusal::OutOfRange, Quoted(value.ToText(locale)) + " is out of range for an amount");
  return Value::Money(*amount);
}

unsigned __int128 PowerOfTen(int exponent) {
  unsigned __int128 p = 1;
  for (int i = 0; i < exponent; ++i) p *= 10;
  return p;
}

// A binary floating-point number through the digits it shows (15 significant for a double,
// 7 for a single, as Jet converts them), so that 12.34565 rounds as written.
std::optional<Decimal> DecimalOfShownDigits(double number, int significant, uint8_t scale) {
  if (!std::isfinite(number)) return std::nullopt;
  char buffer[64];
  const auto written =
      std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::scientific, significant - 1);
  TextLocale plain;
  plain.decimal_separator = u'.';
  plain.thousands_separator = u'\0';
  const std::string ascii(buffer, written.ptr);
  return ParseDecimal(std::u16string(ascii.begin(), ascii.end()), plain, scale);
}

Value ToDecimal(const ColumnDefinition& column, const Value& value, const TextLocale& locale) {
  const uint8_t scale = column.scale;
  std::optional<Decimal> result;
  switch (value.type()) {
    case Value::Type::Decimal: result = RescaleDecimal(value.decimal(), scale); break;
    case Value::Type::Integer: {
      const int64_t v = value.integer();
      const uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
      result = RescaleDecimal(Decimal{v < 0, 0, magnitude}, scale);
      break;
    }
    case Value::Type::Currency: {
      const int64_t v = value.currency().ten_thousandths;
      const uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
      result = RescaleDecimal(Decimal{v < 0, 4, magnitude}, scale);
      break;
    }
    case Value::Type::Flag:
      result = RescaleDecimal(Decimal{value.flag(), 0, value.flag() ? 1u : 0u}, scale);
      break;  // True is -1
    case Value::Type::Text:
      result = ParseDecimal(value.text(), locale, scale);
      if (!result && !ParseNumber(value.text(), locale))
        Refuse(column, Refusal::NotANumber, Quoted(value.text()) + " is not a number");
      break;
    case Value::Type::Single: result = DecimalOfShownDigits(value.single(), 7, scale); break;
    case Value::Type::Double: result = DecimalOfShownDigits(value.dbl(), 15, scale); break;
    case Value::Type::Date: result = DecimalOfShownDigits(value.date().days, 15, scale); break;
    default: Refuse(column, Refusal::WrongType, "this kind of value cannot be stored as a number");
  }
  const int precision = std::clamp<int>(column.precision, 1, kMaxDecimalPrecision);
  if (!result || result->magnitude >= PowerOfTen(precision)) {
    Refuse(column, Refusal::OutOfRange,
           Quoted(value.ToText(locale)) + " is too large: the column holds numbers of at most " +
               std::to_string(precision - std::min<int>(scale, precision)) +
               " digits before the decimal point (precision " + std::to_string(column.precision) + ", scale " +
               std::to_string(scale) + ")");
  }
  return Value::Numeric(*result);
}

Value ToDate(const ColumnDefinition& column, const Value& value, const TextLocale& locale) {
  if (value.type() == Value::Type::Date) return value;
  if (value.type() == Value::Type::Text) {
    auto date = ParseDate(value.text(), locale);
    if (!date) Refuse(column, Refusal::NotADate, Quoted(value.text()) + " is not a date");
    return Value::DateTime(*date);
  }
  const double days = AsNumber(column, value, locale);
  // Jet's dates run from the year 100 to 9999.
  if (!(days >= -657434.0 && days < 2958466.0))
    Refuse(column, Refusal::OutOfRange, Quoted(value.ToText(locale)) + " is out of range for a date");
  return Value::DateTime(Date{days});
}

Value ToFlag(const ColumnDefinition& column, const Value& value, const TextLocale& locale) {
  if (value.type() == Value::Type::Flag) return value;
  if (value.type() == Value::Type::Text) {
    auto flag = ParseFlag(value.text(), locale);
    if (!flag) Refuse(column, Refusal::NotAYesNo, Quoted(value.text()) + " is not a yes/no value");
    return Value::Flag(*flag);
  }
  return Value::Flag(AsNumber(column, value, locale) != 0);
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

Value ToGuid(const ColumnDefinition& column, const Value& value) {
  if (value.type() == Value::Type::Guid) return value;
  if (value.type() != Value::Type::Text)
    Refuse(column, Refusal::WrongType, "this kind of value cannot be stored as a replication id");
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}; the first three groups are stored little-endian.
  std::u16string digits;
  const std::u16string& text = value.text();
  for (char16_t c : text) {
    if (c == u'{' || c == u'}' || c == u'-' || c == u' ') continue;
    if (HexDigit(c) < 0) Refuse(column, Refusal::WrongType, Quoted(text) + " is not a replication id");
    digits += c;
  }
  if (digits.size() != 32) Refuse(column, Refusal::WrongType, Quoted(text) + " is not a replication id");
  uint8_t b[16];
  for (int i = 0; i < 16; ++i) b[i] = static_cast<uint8_t>(HexDigit(digits[2 * i]) * 16 + HexDigit(digits[2 * i + 1]));
  Guid guid;
  const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  for (int i = 0; i < 16; ++i) guid.bytes[i] = b[order[i]];
  return Value::Id(guid);
}

// Characters a text or memo column holds.
size_t TextLimit(const ColumnDefinition& column) {
  const size_t bytes_per_character = column.code_page_text ? 1 : 2;
  return column.type == ColumnType::Text ? column.length / bytes_per_character : 0x3FFFFFFF / bytes_per_character;
}

// A text as its column will keep it: in a code page's bytes (Jet 3) each character the code
// page lacks becomes its best fit or "?", as Jet stores it, so the record reads back what the
// file will hold.
void KeepAsStored(const ColumnDefinition& column, std::u16string& text) {
  if (!column.code_page_text) return;
  if (std::optional<std::u16string> stored = ReplacedInSingleByte(UpperHalfOf(column.code_page), text)) {
    text = std::move(*stored);
  }
}

Value Convert(const ColumnDefinition& column, const Value& value, const TextLocale& locale) {
  if (value.is_null()) return value;
  switch (column.type) {
    case ColumnType::Text:
    case ColumnType::Memo: {
      std::u16string text = value.type() == Value::Type::Text ? value.text() : value.ToText(locale);
      const size_t limit = TextLimit(column);
      if (text.size() > limit) {
        Refuse(column, Refusal::TooLong,
               "the text is " + std::to_string(text.size()) + " characters long, the column holds at most " +
                   std::to_string(limit));
      }
      KeepAsStored(column, text);
      return Value::Text(std::move(text));
    }
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long: return ToWholeNumber(column, value, locale);
    case ColumnType::Money: return ToMoney(column, value, locale);
    case ColumnType::Float: {
      const double v = AsNumber(column, value, locale);
      if (std::fabs(v) > std::numeric_limits<float>::max())
        Refuse(column, Refusal::OutOfRange, Quoted(value.ToText(locale)) + " is out of range");
      return Value::Single(static_cast<float>(v));
    }
    case ColumnType::Double: return Value::Double(AsNumber(column, value, locale));
    case ColumnType::DateTime: return ToDate(column, value, locale);
    case ColumnType::Boolean: return ToFlag(column, value, locale);
    case ColumnType::Binary:
    case ColumnType::Ole: {
      if (value.type() != Value::Type::Binary)
        Refuse(column, Refusal::WrongType, "only binary data can be stored in this column");
      if (column.type == ColumnType::Binary && value.binary().size() > column.length) {
        Refuse(column, Refusal::TooLong,
               "the data is " + std::to_string(value.binary().size()) + " bytes long, the column holds at most " +
                   std::to_string(column.length));
      }
      return value;
    }
    case ColumnType::Guid: return ToGuid(column, value);
    case ColumnType::Numeric: return ToDecimal(column, value, locale);
    default:
      throw Error("", "column \"" + ToUtf8(column.name) + "\": writing this column type is not supported",
                  ErrorKind::UnsupportedFormat);
  }
}

}  // namespace

Value ConvertForColumn(const ColumnDefinition& column, const Value& value, const TextLocale& locale) {
  try {
    return Convert(column, value, locale);
  } catch (Error& error) {
    if (error.refusal() == Refusal::None) throw;
    throw error.Concerning(error.column(), ToUtf8(value.ToText(locale)), error.refusal());
  }
}

Value ConvertForColumn(const ColumnDefinition& column, Value&& value, const TextLocale& locale) {
  const bool text_column = column.type == ColumnType::Text || column.type == ColumnType::Memo;
  if (text_column && value.type() == Value::Type::Text && value.text().size() <= TextLimit(column) &&
      (!column.code_page_text || !ReplacedInSingleByte(UpperHalfOf(column.code_page), value.text()))) {
    return std::move(value);
  }
  return ConvertForColumn(column, static_cast<const Value&>(value), locale);
}

}  // namespace engine::jet
