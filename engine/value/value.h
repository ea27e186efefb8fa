// A database field value as the engine gives it: Null, a text (UTF-16), a number of one of
// Jet's kinds, a date, a flag or bytes. Every reader (Jet, Excel) produces these and every
// writer takes them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/value/calendar.h"
#include "engine/value/decimal.h"
#include "engine/text/text_locale.h"
#include "engine/text/utf.h"  // values' texts are UTF-16; most users also write them as UTF-8

namespace engine {

// Currency: an exact amount in ten-thousandths.
struct Currency {
  int64_t ten_thousandths = 0;
  bool operator==(const Currency&) const = default;
};

struct Guid {
  std::array<uint8_t, 16> bytes{};  // as stored in the file
  bool operator==(const Guid&) const = default;
};

using BinaryData = std::vector<uint8_t>;

class Value {
 public:
  enum class Type { Null, Text, Integer, Currency, Single, Double, Decimal, Date, Flag, Binary, Guid };

  Value() = default;
  static Value Null() { return Value(); }
  static Value Text(std::u16string text) { return Value(std::move(text)); }
  static Value Integer(int64_t v) { return Value(v); }
  static Value Money(Currency v) { return Value(v); }
  static Value Single(float v) { return Value(v); }
  static Value Double(double v) { return Value(v); }
  static Value Numeric(engine::Decimal v) { return Value(v); }
  static Value DateTime(engine::Date v) { return Value(v); }
  static Value Flag(bool v) { return Value(v); }
  static Value Bytes(engine::BinaryData v) { return Value(std::move(v)); }
  static Value Id(engine::Guid v) { return Value(v); }

  Type type() const { return static_cast<Type>(data_.index()); }
  bool is_null() const { return type() == Type::Null; }

  // Accessors; each requires the matching type.
  const std::u16string& text() const { return std::get<std::u16string>(data_); }
  int64_t integer() const { return std::get<int64_t>(data_); }
  Currency currency() const { return std::get<engine::Currency>(data_); }
  float single() const { return std::get<float>(data_); }
  double dbl() const { return std::get<double>(data_); }
  const engine::Decimal& decimal() const { return std::get<engine::Decimal>(data_); }
  engine::Date date() const { return std::get<engine::Date>(data_); }
  bool flag() const { return std::get<bool>(data_); }
  const engine::BinaryData& binary() const { return std::get<engine::BinaryData>(data_); }
  const engine::Guid& guid() const { return std::get<engine::Guid>(data_); }

  // Makes the value an empty text and hands out its characters to fill: a value that was a
  // text keeps its storage, so a reader that refills one value per field allocates nothing.
  std::u16string& TextToFill() {
    if (auto* text = std::get_if<std::u16string>(&data_)) {
      text->clear();
      return *text;
    }
    return data_.emplace<std::u16string>();
  }

  // The text form the program shows and compares: a text as it is; numbers, dates and flags
  // as the locale writes them (12,5 / 21/09/1974 / Vero); Null and bytes give an empty text
  // (bytes: their characters, as Jet reads a binary as text).
  std::u16string ToText(const TextLocale& locale) const;

  bool operator==(const Value&) const = default;

 private:
  using Data = std::variant<std::monostate, std::u16string, int64_t, engine::Currency, float, double,
                            engine::Decimal, engine::Date, bool, engine::BinaryData, engine::Guid>;
  template <typename T>
  explicit Value(T v) : data_(std::move(v)) {}
  Data data_;
};

// Inverse conversions of the text form, with the same locale. Each returns nothing when the
// text is not a value of that kind. Leading and trailing spaces are allowed.
std::optional<double> ParseNumber(std::u16string_view text, const TextLocale& locale);
std::optional<Currency> ParseCurrency(std::u16string_view text, const TextLocale& locale);
// Exact: the text's digits brought to `scale` digits after the point, rounded half to even
// (an exponent is allowed). Nothing when the magnitude at that scale reaches 2^96.
std::optional<Decimal> ParseDecimal(std::u16string_view text, const TextLocale& locale, uint8_t scale);
std::optional<Date> ParseDate(std::u16string_view text, const TextLocale& locale);
std::optional<bool> ParseFlag(std::u16string_view text, const TextLocale& locale);

}  // namespace engine
