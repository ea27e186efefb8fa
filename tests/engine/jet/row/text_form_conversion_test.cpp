// A value's text form converted for a column: always what converting the text itself gives,
// the value or the refusal; and the amounts of doubles worked out without their text for
// nearly every price, so that the comparison covers that way and not only the text's.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine/base/error.h"
#include "engine/jet/row/text_form_conversion.h"
#include "engine/jet/row/value_conversion.h"

using namespace engine;
using namespace engine::jet;

namespace {

ColumnDefinition Column(ColumnType type, uint16_t length = 0) {
  ColumnDefinition column;
  column.name = u"Prezzo";
  column.type = type;
  column.length = length;
  column.precision = 18;
  column.scale = 2;
  return column;
}

// The stored value, or everything a refusal says.
struct Outcome {
  std::optional<Value> value;
  std::string reason, refused_value;
  Refusal refusal = Refusal::None;
  bool operator==(const Outcome&) const = default;
};

template <typename Convert>
Outcome Try(Convert convert) {
  try {
    return {convert(), {}, {}, Refusal::None};
  } catch (const Error& error) {
    return {std::nullopt, error.reason(), error.value(), error.refusal()};
  }
}

std::string Show(const Outcome& outcome) {
  if (outcome.refusal != Refusal::None || !outcome.value) return "refused: " + outcome.reason;
  return ToUtf8(outcome.value->ToText(TextLocale::English()));
}

// Through the text form, and as the text form's converter does it.
void ExpectAsItsText(const ColumnDefinition& column, const Value& value, const TextLocale& written_in,
                     const TextLocale& locale) {
  const Outcome by_text = Try([&] { return ConvertForColumn(column, Value::Text(value.ToText(written_in)), locale); });
  const Outcome by_form = Try([&] { return ConvertTextFormForColumn(column, value, written_in, locale); });
  EXPECT_EQ(by_form, by_text) << ToUtf8(value.ToText(written_in)) << ": " << Show(by_form) << " / " << Show(by_text);
}

TEST(TextFormConversion, GivesWhatTheTextGivesForEveryKindOfValueAndColumn) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double infinity = std::numeric_limits<double>::infinity();
  const std::vector<Value> values = {
      Value::Double(68.25),
      Value::Double(-68.25),
      Value::Double(0.0),
      Value::Double(-0.0),
      Value::Double(12.34565),
      Value::Double(0.12345),
      Value::Double(1234567890.015625),
      Value::Double(0.1 + 0.2),
      Value::Double(2.5e-5),
      Value::Double(0.00005),
      Value::Double(1.5e-7),
      Value::Double(68719476735.9999),
      Value::Double(99999999999.99995),
      Value::Double(1e15),
      Value::Double(9.2e14),
      Value::Double(1e300),
      Value::Double(nan),
      Value::Double(-infinity),
      Value::Money({123456}),
      Value::Money({std::numeric_limits<int64_t>::min()}),
      Value::Integer(42),
      Value::Integer(-922337203685477),
      Value::Integer(922337203685478),
      Value::Integer(std::numeric_limits<int64_t>::min()),
      Value::Single(12.345f),
      Value::Numeric(Decimal{false, 5, 1234565}),
      Value::DateTime(Date{45000.5}),
      Value::Flag(true),
      Value::Text(u"12,50"),
      Value::Text(u"12.50"),
      Value::Text(u"dodici"),
      Value::Text(std::u16string(60, u'x')),
      Value(),
  };
  const ColumnType columns[] = {ColumnType::Money,   ColumnType::Text, ColumnType::Double,  ColumnType::Long,
                                ColumnType::Numeric, ColumnType::Memo, ColumnType::DateTime};
  TextLocale grouped_by_e = TextLocale::English();
  grouped_by_e.thousands_separator = u'E';
  const std::pair<TextLocale, TextLocale> locales[] = {
      {TextLocale::Italian(), TextLocale::Italian()}, {TextLocale::English(), TextLocale::English()},
      {TextLocale::Italian(), TextLocale::English()}, {TextLocale::English(), TextLocale::Italian()},
      {TextLocale::English(), grouped_by_e},
  };
  for (const auto& [written_in, locale] : locales) {
    for (ColumnType type : columns) {
      for (const Value& value : values) {
        SCOPED_TRACE(
            "column type " + std::to_string(static_cast<int>(type)) + ", separators " +
            ToUtf8(std::u16string{written_in.decimal_separator, locale.decimal_separator, locale.thousands_separator}));
        ExpectAsItsText(Column(type, 100), value, written_in, locale);
      }
    }
  }
}

TEST(TextFormConversion, DoublesOfEveryMagnitudeBecomeTheAmountTheirTextReads) {
  std::mt19937_64 random(20261208);
  std::uniform_int_distribution<int> binary_exponent(-20, 40);
  std::uniform_real_distribution<double> fraction(0.5, 1.0);
  std::uniform_int_distribution<int64_t> cents(0, 10'000'000);
  std::vector<double> numbers;
  for (int i = 0; i < 20000; ++i) numbers.push_back(std::ldexp(fraction(random), binary_exponent(random)));
  // Prices as a source holds them, with two to five decimals, and their neighbours.
  for (int i = 0; i < 20000; ++i) {
    const double price = static_cast<double>(cents(random)) / std::pow(10.0, 2 + i % 4);
    numbers.push_back(price);
    numbers.push_back(std::nextafter(price, 0.0));
    numbers.push_back(-std::nextafter(price, 1e12));
  }
  // Ties at the 15th digit and at the fourth decimal.
  for (double tie : {1.000030517578125, 1234567890.015625, 0.00005, 2.00005, 12.34565, 3.14155, 1e-4 / 2})
    numbers.push_back(tie);
  const ColumnDefinition money = Column(ColumnType::Money, 8);
  int worked_out = 0, prices = 0;
  for (double number : numbers) {
    ExpectAsItsText(money, Value::Double(number), TextLocale::Italian(), TextLocale::Italian());
    if (std::fabs(number) >= 0.01 && std::fabs(number) < 1e9) {
      ++prices;
      if (AmountOfShownDigits(number)) ++worked_out;
    }
  }
  EXPECT_GT(worked_out, prices * 99 / 100) << "prices are worked out without their text";
}

TEST(TextFormConversion, AmountsOfDoublesAreTheirShownDigitsRoundedHalfToEven) {
  struct Case {
    double number;
    std::optional<int64_t> ten_thousandths;
  };
  const Case cases[] = {
      {68.25, 682500},
      {-68.25, -682500},
      {12.34565, 123456},  // shown as 12.34565: half to even
      {12.34575, 123458},
      {0.12345, 1234},  // shown as 0.12345, though its binary value lies above
      {1e-4 / 2, 0},    // 0.00005
      {0.0, 0},
      {1e-300, std::nullopt},  // too small to be sure: the text decides
      {1e15, std::nullopt},
      {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
      {1.000030517578125, std::nullopt},  // a tie at the 15th digit
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    const std::optional<Currency> amount = AmountOfShownDigits(c.number);
    ASSERT_EQ(amount.has_value(), c.ten_thousandths.has_value());
    if (amount) {
      EXPECT_EQ(amount->ten_thousandths, *c.ten_thousandths);
    }
  }
}

}  // namespace
