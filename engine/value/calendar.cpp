// The proleptic Gregorian calendar for Jet's dates: see calendar.h.
#include "engine/value/calendar.h"

#include <cmath>

namespace engine {
namespace {

constexpr int64_t kMillisecondsPerDay = 86'400'000;

// Days from 1970-01-01 to the given proleptic Gregorian date (H. Hinnant's algorithm).
constexpr int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int* year, int* month, int* day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *year = static_cast<int>(yoe + era * 400 + (*month <= 2));
}

// Constant-initialized, so that dates made while other files' globals are initialized are right too.
constexpr int64_t kJetDayZero = DaysFromCivil(1899, 12, 30);

}  // namespace

CivilDateTime ToCivil(Date date) {
  double whole = std::trunc(date.days);
  double fraction = std::fabs(date.days - whole);
  int64_t day = static_cast<int64_t>(whole);
  int64_t ms = std::llround(fraction * kMillisecondsPerDay);
  if (ms >= kMillisecondsPerDay) {
    ms -= kMillisecondsPerDay;
    day += date.days < 0 ? -1 : 1;
  }
  CivilDateTime c;
  CivilFromDays(kJetDayZero + day, &c.year, &c.month, &c.day);
  c.hour = static_cast<int>(ms / 3'600'000);
  c.minute = static_cast<int>(ms / 60'000 % 60);
  c.second = static_cast<int>(ms / 1000 % 60);
  c.millisecond = static_cast<int>(ms % 1000);
  return c;
}

Date FromCivil(const CivilDateTime& c) {
  double day = static_cast<double>(DaysFromCivil(c.year, c.month, c.day) - kJetDayZero);
  double time = (c.hour * 3'600'000.0 + c.minute * 60'000.0 + c.second * 1000.0 + c.millisecond) /
                kMillisecondsPerDay;
  return Date{day < 0 ? day - time : day + time};
}

bool IsValidDay(int y, int m, int d) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12 || d < 1) return false;
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= kDays[m - 1] + (m == 2 && leap ? 1 : 0);
}

}  // namespace engine
