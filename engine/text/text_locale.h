// How numbers, dates and flags look as text for the user: the decimal separator, the date
// order and separators, the words for true and false. The program passes the system's
// locale; tests pass fixed ones.
#pragma once

#include <string>

namespace engine {

struct TextLocale {
  enum class DateOrder { DayMonthYear, MonthDayYear, YearMonthDay };

  char16_t decimal_separator = u'.';
  char16_t thousands_separator = u',';
  DateOrder date_order = DateOrder::MonthDayYear;
  char16_t date_separator = u'/';
  char16_t time_separator = u':';
  std::u16string true_text = u"True";
  std::u16string false_text = u"False";

  static TextLocale Italian();  // 12,5  21/09/1974 10:30:00  Vero / Falso
  static TextLocale English();  // 12.5  9/21/1974 10:30:00  True / False
  // From LC_ALL / LC_NUMERIC / LANG: Italian for it_*, English otherwise.
  static TextLocale FromEnvironment();
};

}  // namespace engine
