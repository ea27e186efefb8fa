// The text form of a value: numbers, dates and flags as the locale writes them.
#include "engine/value/value.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace engine {
namespace {

std::u16string Ascii(std::string_view s) { return std::u16string(s.begin(), s.end()); }

std::u16string WithSeparator(std::string s, char16_t separator) {
  std::u16string out = Ascii(s);
  for (char16_t& c : out) {
    if (c == u'.') c = separator;
  }
  return out;
}

// printf's %G, made to look like the platform's number text: no exponent padding. Always
// with a dot, whatever the C library's locale: the caller puts in the user's separator.
std::string FormatSignificant(double v, int digits) {
  if (v == 0) return "0";
  char buffer[64];
  const auto written = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, digits);
  std::string s(buffer, written.ptr);
  std::transform(s.begin(), s.end(), s.begin(), [](char c) { return c == 'e' ? 'E' : c; });
  size_t e = s.find('E');
  if (e != std::string::npos) {
    std::string mantissa = s.substr(0, e);
    char sign = s[e + 1];
    std::string exponent = s.substr(e + 2);
    exponent.erase(0, std::min(exponent.find_first_not_of('0'), exponent.size() - 1));
    s = mantissa + "E" + sign + exponent;
  }
  return s;
}

std::string FormatDecimal(const Decimal& d) {
  std::string digits = DecimalDigits(d.magnitude);
  if (d.scale > 0) {
    if (digits.size() <= d.scale) digits.insert(0, d.scale - digits.size() + 1, '0');
    digits.insert(digits.size() - d.scale, ".");
    while (digits.back() == '0') digits.pop_back();
    if (digits.back() == '.') digits.pop_back();
  }
  if (d.negative && digits != "0") digits.insert(0, "-");
  return digits;
}

std::string FormatCurrency(Currency c) {
  int64_t v = c.ten_thousandths;
  bool negative = v < 0;
  unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(v) : v;
  std::string s = std::to_string(magnitude / 10000);
  const auto fraction = static_cast<unsigned>(magnitude % 10000);
  if (fraction != 0) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%04u", fraction);
    std::string f = buffer;
    while (f.back() == '0') f.pop_back();
    s += "." + f;
  }
  return negative ? "-" + s : s;
}

std::u16string Two(int v) {
  return Ascii(std::string(1, static_cast<char>('0' + v / 10)) + static_cast<char>('0' + v % 10));
}

std::u16string FormatDate(Date date, const TextLocale& locale) {
  CivilDateTime c = ToCivil(date);
  std::u16string day_part;
  std::u16string year = Ascii(std::to_string(c.year));
  if (year.size() < 4) year.insert(0, 4 - year.size(), u'0');
  const char16_t sep = locale.date_separator;
  switch (locale.date_order) {
    case TextLocale::DateOrder::DayMonthYear:
      day_part = Two(c.day) + sep + Two(c.month) + sep + year;
      break;
    case TextLocale::DateOrder::MonthDayYear:
      day_part = Ascii(std::to_string(c.month)) + sep + Ascii(std::to_string(c.day)) + sep + year;
      break;
    case TextLocale::DateOrder::YearMonthDay:
      day_part = year + sep + Two(c.month) + sep + Two(c.day);
      break;
  }
  const bool has_time = c.hour || c.minute || c.second || c.millisecond;
  const bool is_day_zero = std::trunc(date.days) == 0;
  std::u16string time_part = Two(c.hour) + locale.time_separator + Two(c.minute) +
                             locale.time_separator + Two(c.second);
  if (!has_time) return day_part;
  if (is_day_zero) return time_part;
  return day_part + u' ' + time_part;
}

}  // namespace

std::u16string Value::ToText(const TextLocale& locale) const {
  switch (type()) {
    case Type::Null:
      return u"";
    case Type::Text:
      return text();
    case Type::Integer:
      return Ascii(std::to_string(integer()));
    case Type::Currency:
      return WithSeparator(FormatCurrency(currency()), locale.decimal_separator);
    case Type::Single:
      return WithSeparator(FormatSignificant(single(), 7), locale.decimal_separator);
    case Type::Double:
      return WithSeparator(FormatSignificant(dbl(), 15), locale.decimal_separator);
    case Type::Decimal:
      return WithSeparator(FormatDecimal(decimal()), locale.decimal_separator);
    case Type::Date:
      return FormatDate(date(), locale);
    case Type::Flag:
      return flag() ? locale.true_text : locale.false_text;
    case Type::Binary: {
      const BinaryData& b = binary();
      return FromUtf16LittleEndian(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
    }
    case Type::Guid: {
      const auto& g = guid().bytes;
      char buffer[40];
      std::snprintf(buffer, sizeof buffer,
                    "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g[3], g[2],
                    g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
      return Ascii(buffer);
    }
  }
  return u"";
}

}  // namespace engine
