// Which number formats make a cell a date, and how Excel's serial numbers become dates.
#include "engine/excel/cell_formats.h"

#include <gtest/gtest.h>

namespace {

using engine::excel::IsDateFormatText;
using engine::excel::SerialToDate;

TEST(DateFormats, DateAndTimeCodesMakeADate) {
  for (const char16_t* format : {u"dd/mm/yyyy", u"d-mmm-yy", u"[$-410]d mmmm yyyy", u"h:mm AM/PM", u"[h]:mm:ss",
                                 u"mm:ss.0", u"yyyy\\-mm\\-dd", u"DD.MM.YYYY", u"[Red]dd/mm/yyyy;@"}) {
    EXPECT_TRUE(IsDateFormatText(format)) << engine::ToUtf8(format);
  }
}

TEST(DateFormats, NumberFormatsAndQuotedLettersAreNotDates) {
  for (const char16_t* format : {u"General", u"0.00", u"#,##0.00 \"kg\"", u"0.00%", u"\"days\" 0", u"[Red]0.00",
                                 u"#,##0;[Red]-#,##0", u"@", u"0.00E+00", u"_-* #,##0.00 \\d_-", u"[$€-410] #,##0.00",
                                 u"# ?/?", u"0;\"m\"yy"}) {
    EXPECT_FALSE(IsDateFormatText(format)) << engine::ToUtf8(format);
  }
}

TEST(DateFormats, BuiltInNumbers) {
  const uint16_t dates[] = {14, 15, 17, 20, 22, 45, 47};
  for (uint16_t index : dates) EXPECT_TRUE(engine::excel::IsBuiltInDateFormat(index)) << index;
  const uint16_t others[] = {0, 1, 2, 9, 10, 11, 37, 44, 48, 49};
  for (uint16_t index : others) {
    EXPECT_FALSE(engine::excel::IsBuiltInDateFormat(index)) << index;
  }
}

engine::CivilDateTime Civil(double serial, bool date1904) { return engine::ToCivil(SerialToDate(serial, date1904)); }

void ExpectDay(double serial, bool date1904, int year, int month, int day) {
  engine::CivilDateTime c = Civil(serial, date1904);
  EXPECT_EQ(c.year, year) << serial;
  EXPECT_EQ(c.month, month) << serial;
  EXPECT_EQ(c.day, day) << serial;
}

TEST(DateSerials, The1900SystemSkipsExcelsPhantomLeapDay) {
  ExpectDay(1, false, 1900, 1, 1);
  ExpectDay(59, false, 1900, 2, 28);
  ExpectDay(61, false, 1900, 3, 1);
  ExpectDay(45351, false, 2024, 2, 29);
  ExpectDay(2958465, false, 9999, 12, 31);
}

TEST(DateSerials, The1904SystemStartsFourYearsLater) {
  ExpectDay(1, true, 1904, 1, 2);
  ExpectDay(43889, true, 2024, 2, 29);
  engine::CivilDateTime c = Civil(1.25, true);
  EXPECT_EQ(c.hour, 6);
}

TEST(DateSerials, ATimeOfDayAloneStaysOnJetsDayZero) {
  for (bool date1904 : {false, true}) {
    engine::CivilDateTime c = Civil(0.75, date1904);
    EXPECT_EQ(c.year, 1899);
    EXPECT_EQ(c.month, 12);
    EXPECT_EQ(c.day, 30);
    EXPECT_EQ(c.hour, 18);
  }
}

}  // namespace
