// Jet's dates and their calendar form.
#pragma once

namespace engine {

// Days since 1899-12-30 with the time of day as the fraction, as Jet stores dates.
struct Date {
  double days = 0;
  bool operator==(const Date&) const = default;
};

// Calendar form of a Jet date (proleptic Gregorian; negative days count back from 1899-12-30,
// with the fraction's absolute value as the time of day, as Jet does).
struct CivilDateTime {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};
CivilDateTime ToCivil(Date date);
Date FromCivil(const CivilDateTime& civil);

// Whether the month has that day in that year.
bool IsValidDay(int year, int month, int day);

}  // namespace engine
