#include "engine/value.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

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

std::u16string Ascii(std::string_view s) { return std::u16string(s.begin(), s.end()); }

std::u16string WithSeparator(std::string s, char16_t separator) {
  std::u16string out = Ascii(s);
  for (char16_t& c : out) {
    if (c == u'.') c = separator;
  }
  return out;
}

// printf's %G, made to look like the platform's number text: no exponent padding.
std::string FormatSignificant(double v, int digits) {
  if (v == 0) return "0";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*G", digits, v);
  std::string s = buffer;
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

// The decimal digits of a 128-bit magnitude, "0" for zero (to_chars has no 128-bit form).
std::string DigitsOf(unsigned __int128 m) {
  constexpr uint64_t kChunk = 10'000'000'000'000'000'000ull;  // 19 digits at a time
  std::string digits;
  do {
    char part[24];
    const uint64_t low = static_cast<uint64_t>(m % kChunk);
    m /= kChunk;
    std::string text(part, std::to_chars(part, part + sizeof part, low).ptr);
    if (m != 0) text.insert(0, 19 - text.size(), '0');
    digits.insert(0, text);
  } while (m != 0);
  return digits;
}

std::string FormatDecimal(const Decimal& d) {
  std::string digits = DigitsOf(d.magnitude);
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
  unsigned fraction = magnitude % 10000;
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

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
  return text;
}

// Rewrites a locale number text as plain ASCII "[-]digits[.digits][E[+-]digits]".
// Thousands separators are accepted only between groups of three digits in the integer part,
// so that "12.50" in an Italian locale is refused rather than read as 1250.
std::optional<std::string> NormalizeNumber(std::u16string_view text, const TextLocale& locale) {
  text = Trim(text);
  std::string out;
  size_t i = 0;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
    if (text[i] == u'-') out += '-';
    ++i;
  }
  size_t integer_digits = 0, group_digits = 0;
  bool grouped = false;
  for (; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c >= u'0' && c <= u'9') {
      out += static_cast<char>(c);
      ++integer_digits;
      ++group_digits;
    } else if (c == locale.thousands_separator && c != locale.decimal_separator) {
      if (integer_digits == 0 || (grouped && group_digits != 3) || (!grouped && group_digits > 3)) {
        return std::nullopt;
      }
      grouped = true;
      group_digits = 0;
    } else {
      break;
    }
  }
  if (grouped && group_digits != 3) return std::nullopt;
  size_t fraction_digits = 0;
  if (i < text.size() && text[i] == locale.decimal_separator) {
    out += '.';
    for (++i; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
      out += static_cast<char>(text[i]);
      ++fraction_digits;
    }
  }
  if (integer_digits + fraction_digits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == u'E' || text[i] == u'e')) {
    out += 'E';
    ++i;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) out += static_cast<char>(text[i++]);
    size_t exponent_digits = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i, ++exponent_digits) {
      out += static_cast<char>(text[i]);
    }
    if (exponent_digits == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  return out;
}

// Jet's decimals hold magnitudes below 2^96.
constexpr unsigned __int128 kDecimalLimit = static_cast<unsigned __int128>(1) << 96;

// digits × 10^exponent (digits: ASCII '0'..'9') with `scale` digits after the point, rounded
// half to even on the digits that go; nothing when the magnitude reaches 2^96.
std::optional<Decimal> DecimalFromDigits(bool negative, std::string_view digits, int64_t exponent, uint8_t scale) {
  const int64_t shift = exponent + scale;  // the scaled magnitude is digits × 10^shift
  const int64_t size = static_cast<int64_t>(digits.size());
  // Every digit below a tenth of the last unit kept: under a half, so a zero.
  if (size + shift < 0) return Decimal{false, scale, 0};
  const size_t keep = static_cast<size_t>(std::min<int64_t>(size + std::min<int64_t>(shift, 0), size));
  unsigned __int128 v = 0;
  for (size_t i = 0; i < keep; ++i) {
    v = v * 10 + static_cast<unsigned>(digits[i] - '0');
    if (v >= kDecimalLimit) return std::nullopt;
  }
  for (int64_t i = 0; i < shift && v != 0; ++i) {
    v *= 10;
    if (v >= kDecimalLimit) return std::nullopt;
  }
  if (keep < digits.size()) {
    const char first = digits[keep];
    const bool rest_nonzero = digits.substr(keep + 1).find_first_not_of('0') != std::string_view::npos;
    if (first > '5' || (first == '5' && (rest_nonzero || v % 2 == 1))) ++v;
    if (v >= kDecimalLimit) return std::nullopt;
  }
  return Decimal{negative && v != 0, scale, v};
}

bool ParseUnsigned(std::u16string_view s, int* out) {
  if (s.empty() || s.size() > 9) return false;
  int v = 0;
  for (char16_t c : s) {
    if (c < u'0' || c > u'9') return false;
    v = v * 10 + (c - u'0');
  }
  *out = v;
  return true;
}

std::vector<std::u16string_view> Split(std::u16string_view text, std::u16string_view separators) {
  std::vector<std::u16string_view> parts;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || separators.find(text[i]) != std::u16string_view::npos) {
      parts.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

bool ParseTime(std::u16string_view text, const TextLocale& locale, CivilDateTime* c) {
  std::u16string separators = u":.";
  separators += locale.time_separator;
  auto parts = Split(text, separators);
  if (parts.size() < 2 || parts.size() > 3) return false;
  int h, m, s = 0;
  if (!ParseUnsigned(parts[0], &h) || !ParseUnsigned(parts[1], &m)) return false;
  if (parts.size() == 3 && !ParseUnsigned(parts[2], &s)) return false;
  if (h > 23 || m > 59 || s > 59) return false;
  c->hour = h;
  c->minute = m;
  c->second = s;
  return true;
}

bool ValidDay(int y, int m, int d) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12 || d < 1) return false;
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= kDays[m - 1] + (m == 2 && leap ? 1 : 0);
}

bool ParseDayPart(std::u16string_view text, const TextLocale& locale, CivilDateTime* c) {
  std::u16string separators = u"/-.";
  separators += locale.date_separator;
  auto parts = Split(text, separators);
  if (parts.size() != 3) return false;
  int a, b, y;
  // An ISO date (four-digit year first) is accepted in every locale.
  if (parts[0].size() == 4) {
    if (!ParseUnsigned(parts[0], &y) || !ParseUnsigned(parts[1], &a) || !ParseUnsigned(parts[2], &b)) {
      return false;
    }
    c->year = y, c->month = a, c->day = b;
  } else {
    if (!ParseUnsigned(parts[0], &a) || !ParseUnsigned(parts[1], &b) || !ParseUnsigned(parts[2], &y)) {
      return false;
    }
    if (parts[2].size() <= 2) y += y < 30 ? 2000 : 1900;  // the platform's two-digit window
    if (locale.date_order == TextLocale::DateOrder::MonthDayYear) std::swap(a, b);
    c->year = y, c->month = b, c->day = a;
  }
  return c->year >= 100 && c->year <= 9999 && ValidDay(c->year, c->month, c->day);
}

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
      const Binary& b = binary();
      std::u16string out;
      for (size_t i = 0; i + 1 < b.size(); i += 2) out += static_cast<char16_t>(b[i] | (b[i + 1] << 8));
      return out;
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

std::optional<double> ParseNumber(std::u16string_view text, const TextLocale& locale) {
  auto ascii = NormalizeNumber(text, locale);
  if (!ascii) return std::nullopt;
  double v;
  auto [end, error] = std::from_chars(ascii->data(), ascii->data() + ascii->size(), v);
  if (error != std::errc() || end != ascii->data() + ascii->size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<Decimal> ParseDecimal(std::u16string_view text, const TextLocale& locale, uint8_t scale) {
  auto ascii = NormalizeNumber(text, locale);
  if (!ascii) return std::nullopt;
  std::string_view s = *ascii;
  const bool negative = s[0] == '-';
  if (negative) s.remove_prefix(1);
  int64_t exponent = 0;
  if (size_t e = s.find('E'); e != std::string_view::npos) {
    std::string_view written = s.substr(e + 1);
    const bool down = written[0] == '-';
    if (written[0] == '-' || written[0] == '+') written.remove_prefix(1);
    for (char c : written) exponent = std::min<int64_t>(exponent * 10 + (c - '0'), 100'000);  // far past any 96-bit value
    if (down) exponent = -exponent;
    s = s.substr(0, e);
  }
  std::string digits(s);
  if (size_t point = digits.find('.'); point != std::string::npos) {
    exponent -= static_cast<int64_t>(digits.size() - point - 1);
    digits.erase(point, 1);
  }
  return DecimalFromDigits(negative, digits, exponent, scale);
}

std::optional<Decimal> RescaleDecimal(const Decimal& value, uint8_t scale) {
  if (value.scale == scale) return value.magnitude < kDecimalLimit ? std::optional<Decimal>(value) : std::nullopt;
  return DecimalFromDigits(value.negative, DigitsOf(value.magnitude), -static_cast<int64_t>(value.scale), scale);
}

// Exact, rounding half to even at the fourth decimal as the platform does.
std::optional<Currency> ParseCurrency(std::u16string_view text, const TextLocale& locale) {
  auto amount = ParseDecimal(text, locale, 4);
  if (!amount) return std::nullopt;
  const unsigned __int128 limit = static_cast<unsigned __int128>(std::numeric_limits<int64_t>::max()) + amount->negative;
  if (amount->magnitude > limit) return std::nullopt;
  const uint64_t magnitude = static_cast<uint64_t>(amount->magnitude);
  return Currency{amount->negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude)};
}

std::optional<Date> ParseDate(std::u16string_view text, const TextLocale& locale) {
  text = Trim(text);
  if (text.empty()) return std::nullopt;
  CivilDateTime c;
  size_t split = text.find_first_of(u" T");
  std::u16string_view first = text.substr(0, split);
  if (split == std::u16string_view::npos) {
    // A date alone, or a time alone (on Jet's day zero).
    if (ParseDayPart(first, locale, &c)) return FromCivil(c);
    if (ParseTime(first, locale, &c)) return FromCivil(c);
    return std::nullopt;
  }
  std::u16string_view second = Trim(text.substr(split + 1));
  if (!ParseDayPart(first, locale, &c) || !ParseTime(second, locale, &c)) return std::nullopt;
  return FromCivil(c);
}

std::optional<bool> ParseFlag(std::u16string_view text, const TextLocale& locale) {
  text = Trim(text);
  const auto same = EqualsIgnoringAsciiCase;
  if (same(text, locale.true_text) || same(text, u"True") || same(text, u"Yes")) return true;
  if (same(text, locale.false_text) || same(text, u"False") || same(text, u"No")) return false;
  if (auto number = ParseNumber(text, locale)) return *number != 0;
  return std::nullopt;
}

bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'a' && x <= u'z') x -= 32;
    if (y >= u'a' && y <= u'z') y -= 32;
    if (x != y) return false;
  }
  return true;
}

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    unsigned char b = text[i];
    uint32_t c;
    size_t length;
    if (b < 0x80) {
      c = b, length = 1;
    } else if ((b & 0xE0) == 0xC0) {
      c = b & 0x1F, length = 2;
    } else if ((b & 0xF0) == 0xE0) {
      c = b & 0x0F, length = 3;
    } else if ((b & 0xF8) == 0xF0) {
      c = b & 0x07, length = 4;
    } else {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    if (i + length > text.size()) {
      out += u'\uFFFD';
      break;
    }
    bool valid = true;
    for (size_t k = 1; k < length; ++k) {
      unsigned char next = text[i + k];
      if ((next & 0xC0) != 0x80) valid = false;
      c = (c << 6) | (next & 0x3F);
    }
    i += valid ? length : 1;
    if (!valid) {
      out += u'\uFFFD';
    } else if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

}  // namespace engine
