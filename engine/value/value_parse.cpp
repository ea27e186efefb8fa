// Values read back from their text form, in the same locale: see value.h.
#include "engine/value/value.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "engine/text/case_fold.h"

namespace engine {
namespace {

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
  return c->year >= 100 && c->year <= 9999 && IsValidDay(c->year, c->month, c->day);
}

}  // namespace

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

}  // namespace engine
