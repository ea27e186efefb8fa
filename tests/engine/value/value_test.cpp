#include "engine/value/value.h"

#include <gtest/gtest.h>

namespace engine {
namespace {

TEST(ValueTextForm, NumbersFollowTheLocale) {
  const TextLocale it = TextLocale::Italian(), en = TextLocale::English();
  EXPECT_EQ(Value::Double(12.5).ToText(it), u"12,5");
  EXPECT_EQ(Value::Double(12.5).ToText(en), u"12.5");
  EXPECT_EQ(Value::Double(0.30000000000000004).ToText(it), u"0,3");
  EXPECT_EQ(Value::Double(-5.5).ToText(it), u"-5,5");
  EXPECT_EQ(Value::Double(0).ToText(it), u"0");
  EXPECT_EQ(Value::Integer(123).ToText(it), u"123");
  EXPECT_EQ(Value::Money(Currency{123450}).ToText(it), u"12,345");
  EXPECT_EQ(Value::Money(Currency{-50000}).ToText(it), u"-5");
  EXPECT_EQ(Value::Numeric({false, 4, 3913134}).ToText(it), u"391,3134");  // scale 4, not 3913134
  EXPECT_EQ(Value::Numeric({true, 6, 1}).ToText(it), u"-0,000001");
  EXPECT_EQ(Value::Numeric({false, 4, 15000}).ToText(en), u"1.5");
  EXPECT_EQ(Value::Single(1.1f).ToText(en), u"1.1");
  EXPECT_EQ(Value::Flag(true).ToText(it), u"Vero");
  EXPECT_EQ(Value::Flag(false).ToText(en), u"False");
}

TEST(ValueTextForm, DatesUseFourDigitYearsAndShowTimeOnlyWhenPresent) {
  const TextLocale it = TextLocale::Italian();
  CivilDateTime birthday{1974, 9, 21};
  EXPECT_EQ(Value::DateTime(FromCivil(birthday)).ToText(it), u"21/09/1974");
  birthday.hour = 10, birthday.minute = 30;
  EXPECT_EQ(Value::DateTime(FromCivil(birthday)).ToText(it), u"21/09/1974 10:30:00");
  EXPECT_EQ(Value::DateTime(Date{0.5}).ToText(it), u"12:00:00");
  EXPECT_EQ(Value::DateTime(Date{0}).ToText(it), u"30/12/1899");
  EXPECT_EQ(Value::DateTime(FromCivil({1974, 9, 21})).ToText(TextLocale::English()), u"9/21/1974");
}

TEST(ValueDates, NegativeDaysKeepTheTimeAsAPositiveFraction) {
  CivilDateTime c = ToCivil(Date{-1.25});
  EXPECT_EQ(c.year, 1899);
  EXPECT_EQ(c.month, 12);
  EXPECT_EQ(c.day, 29);
  EXPECT_EQ(c.hour, 6);
  EXPECT_DOUBLE_EQ(FromCivil(c).days, -1.25);
  EXPECT_DOUBLE_EQ(FromCivil({1900, 1, 1}).days, 2);
}

TEST(ValueParsing, TextFormReadsBackAsTheSameValue) {
  for (const TextLocale& locale : {TextLocale::Italian(), TextLocale::English()}) {
    for (double v : {12.5, 0.1, -5.5, 1234567.891, 1e-7, 3e20}) {
      auto parsed = ParseNumber(Value::Double(v).ToText(locale), locale);
      ASSERT_TRUE(parsed.has_value());
      EXPECT_DOUBLE_EQ(*parsed, v);
    }
    Date when = FromCivil({2024, 2, 29, 23, 59, 58});
    auto date = ParseDate(Value::DateTime(when).ToText(locale), locale);
    ASSERT_TRUE(date.has_value());
    EXPECT_DOUBLE_EQ(date->days, when.days);
    auto currency = ParseCurrency(Value::Money(Currency{-123456}).ToText(locale), locale);
    ASSERT_TRUE(currency.has_value());
    EXPECT_EQ(currency->ten_thousandths, -123456);
  }
}

TEST(ValueParsing, RefusesWhatIsNotANumberOrIsAmbiguous) {
  const TextLocale it = TextLocale::Italian();
  EXPECT_FALSE(ParseNumber(u"", it));
  EXPECT_FALSE(ParseNumber(u"abc", it));
  EXPECT_FALSE(ParseNumber(u"12,5x", it));
  EXPECT_FALSE(ParseNumber(u"12.50", it));  // not a thousands grouping: refused, not 1250
  EXPECT_EQ(ParseNumber(u"1.234,5", it), 1234.5);
  EXPECT_EQ(ParseNumber(u"  7 ", it), 7);
  EXPECT_FALSE(ParseDate(u"31/02/2020", it));
  EXPECT_FALSE(ParseDate(u"ieri", it));
  EXPECT_EQ(ParseFlag(u"vero", it), true);
  EXPECT_EQ(ParseFlag(u"0", it), false);
  EXPECT_FALSE(ParseFlag(u"forse", it));
}

TEST(ValueParsing, CurrencyRoundsHalfToEvenAtTheFourthDecimal) {
  const TextLocale it = TextLocale::Italian();
  EXPECT_EQ(ParseCurrency(u"12,34565", it)->ten_thousandths, 123456);
  EXPECT_EQ(ParseCurrency(u"12,34575", it)->ten_thousandths, 123458);
  EXPECT_EQ(ParseCurrency(u"12,345651", it)->ten_thousandths, 123457);
  EXPECT_EQ(ParseCurrency(u"0,3", it)->ten_thousandths, 3000);
  EXPECT_FALSE(ParseCurrency(u"99999999999999999999", it));
}

// Decimals never pass through a double: the digits written are the digits stored, rounded
// half to even at the scale asked for, up to Jet's 96-bit magnitude.
TEST(ValueParsing, DecimalsAreExactAtTheScaleAsked) {
  const TextLocale it = TextLocale::Italian();
  struct Case {
    std::u16string_view text;
    uint8_t scale;
    std::u16string_view expected;  // English text form; empty when refused
  };
  const Case cases[] = {
      {u"391,3134", 4, u"391.3134"},
      {u"12,34565", 4, u"12.3456"},
      {u"12,34575", 4, u"12.3458"},
      {u"12,345651", 4, u"12.3457"},
      {u"-2,5", 0, u"-2"},
      {u"3,5", 0, u"4"},
      {u"-0,00005", 4, u"0"},
      {u"1,5E3", 0, u"1500"},
      {u"25E-6", 6, u"0.000025"},
      {u"9E-40", 6, u"0"},
      {u"9E-7", 6, u"0.000001"},
      {u"9.999.999.999.999.999.999.999,999999", 6, u"9999999999999999999999.999999"},
      {u"0,30000000000000004", 2, u"0.3"},
      {u"79228162514264337593543950335", 0, u"79228162514264337593543950335"},  // 2^96 - 1
      {u"79228162514264337593543950336", 0, u""},
      {u"7922816251426433759354395033,6", 1, u""},
      {u"1E400", 0, u""},
      {u"dodici", 2, u""},
      {u"12.50", 2, u""},
  };
  for (const Case& c : cases) {
    const auto parsed = ParseDecimal(c.text, it, c.scale);
    if (c.expected.empty()) {
      EXPECT_FALSE(parsed.has_value()) << ToUtf8(c.text);
      continue;
    }
    ASSERT_TRUE(parsed.has_value()) << ToUtf8(c.text);
    EXPECT_EQ(parsed->scale, c.scale);
    EXPECT_EQ(Value::Numeric(*parsed).ToText(TextLocale::English()), c.expected) << ToUtf8(c.text);
  }
}

TEST(ValueParsing, DecimalsChangeScaleRoundingHalfToEven) {
  struct Case {
    Decimal from;
    uint8_t scale;
    std::optional<Decimal> expected;
  };
  const unsigned __int128 top = (static_cast<unsigned __int128>(1) << 96) - 1;
  const Case cases[] = {
      {{false, 4, 15000}, 2, Decimal{false, 2, 150}},
      {{false, 3, 2345}, 2, Decimal{false, 2, 234}},
      {{false, 3, 2355}, 2, Decimal{false, 2, 236}},
      {{true, 4, 9223372036854775808ull}, 0, Decimal{true, 0, 922337203685478}},
      {{true, 2, 4}, 1, Decimal{false, 1, 0}},  // -0.04 rounds to a zero that is not negative
      {{false, 0, 7}, 6, Decimal{false, 6, 7000000}},
      {{false, 6, 9}, 4, Decimal{false, 4, 0}},
      {{false, 6, 50}, 4, Decimal{false, 4, 0}},
      {{false, 6, 51}, 4, Decimal{false, 4, 1}},
      {{true, 6, 150}, 4, Decimal{true, 4, 2}},
      {{false, 0, top}, 0, Decimal{false, 0, top}},
      {{false, 0, top}, 1, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(RescaleDecimal(c.from, c.scale), c.expected) << ToUtf8(Value::Numeric(c.from).ToText(TextLocale::English()));
}

TEST(Utf8, RoundTripsEveryPlane) {
  std::u16string text = u"CAFFÈ ß € \U0001F600 Ωμέγα";
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(ToUtf8(u"\xD800"), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace engine
