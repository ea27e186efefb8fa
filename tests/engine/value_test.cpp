#include "engine/value.h"

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

TEST(Utf8, RoundTripsEveryPlane) {
  std::u16string text = u"CAFFÈ ß € \U0001F600 Ωμέγα";
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(ToUtf8(u"\xD800"), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace engine
