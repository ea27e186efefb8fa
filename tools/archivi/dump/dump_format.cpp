// The dump format: see dump_format.h.
#include "tools/archivi/dump/dump_format.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "engine/text/utf.h"

namespace engine {
namespace {

using FourUnits = uint16_t __attribute__((vector_size(8)));
using FourChars = char __attribute__((vector_size(4)));
// A unit is printable ASCII when, less 0x20 (the space), it is below 0x60. A lane that passes
// a vector comparison is all ones.
constexpr FourUnits kSpaces = {0x20, 0x20, 0x20, 0x20};
constexpr FourUnits kPrintable = {0x60, 0x60, 0x60, 0x60};
constexpr FourUnits kBackslashes = {u'\\', u'\\', u'\\', u'\\'};

// UTF-16 to UTF-8 with the dump's escapes, straight into `out` (the dump's hot path: plain
// ASCII is copied as it is, in the same pass that looks for anything else; from the first
// other character on, the worst case of 4 bytes per unit is made room for).
void AppendEscapedText(std::u16string_view text, std::string& out) {
  size_t start = out.size();
  out.resize(start + text.size());
  char* p = out.data() + start;
  size_t i = 0;
  // Four units at a time while all four are plain, narrowed in one vector operation (the
  // compiler's generic vectors: SSE2 here, NEON on ARM).
  for (; i + 4 <= text.size(); i += 4) {
    FourUnits units;
    std::memcpy(&units, text.data() + i, sizeof units);
    const FourUnits plain = (units - kSpaces < kPrintable) & (units != kBackslashes);
    uint64_t lanes;
    std::memcpy(&lanes, &plain, sizeof lanes);
    if (lanes != ~uint64_t{0}) break;
    const FourChars chars = __builtin_convertvector(units, FourChars);
    std::memcpy(p + i, &chars, sizeof chars);
  }
  for (; i < text.size(); ++i) {
    const char16_t c = text[i];
    // Printable ASCII but the backslash: the controls go the slow way too, most unescaped.
    if (static_cast<char16_t>(c - 0x20) >= 0x60 || c == u'\\') break;
    p[i] = static_cast<char>(c);
  }
  if (i == text.size()) return;
  start += i;
  out.resize(start + 4 * (text.size() - i));
  p = out.data() + start;
  for (; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c < 0x80) {
      switch (c) {
        case '\\': *p++ = '\\'; *p++ = '\\'; break;
        case '\t': *p++ = '\\'; *p++ = 't'; break;
        case '\n': *p++ = '\\'; *p++ = 'n'; break;
        case '\r': *p++ = '\\'; *p++ = 'r'; break;
        default: *p++ = static_cast<char>(c);
      }
      continue;
    }
    p = EncodeUtf8(text, i, p);
  }
  out.resize(p - out.data());
}

template <typename Float>
void AppendShortest(Float v, std::string& out) {
  if (v == 0) {
    out += '0';
    return;
  }
  if (std::isnan(v)) {
    out += "NaN";
    return;
  }
  if (std::isinf(v)) {
    out += v < 0 ? "-Infinity" : "Infinity";
    return;
  }
  // Shortest round-trip digits, then written out without an exponent.
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::scientific);
  std::string_view text(buffer, result.ptr - buffer);
  const size_t e = text.find('e');
  int exponent = 0;
  const std::string_view written = text.substr(e + 1);
  std::from_chars(written.data() + (written[0] == '+' ? 1 : 0), written.data() + written.size(), exponent);
  char digits[32];  // at most 17 significant digits
  size_t count = 0;
  bool negative = false;
  for (char c : text.substr(0, e)) {
    if (c == '-') negative = true;
    if (c >= '0' && c <= '9') digits[count++] = c;
  }
  // digits = d.ddd, value = 0.dddd * 10^(exponent + 1); written straight into `out`.
  const int point = exponent + 1;
  if (negative) out += '-';
  bool has_point = true;
  if (point <= 0) {
    out += "0.";
    out.append(static_cast<size_t>(-point), '0');
    out.append(digits, count);
  } else if (point >= static_cast<int>(count)) {
    out.append(digits, count);
    out.append(static_cast<size_t>(point) - count, '0');
    has_point = false;
  } else {
    out.append(digits, static_cast<size_t>(point));
    out += '.';
    out.append(digits + point, count - static_cast<size_t>(point));
  }
  if (has_point) {
    while (out.back() == '0') out.pop_back();
    if (out.back() == '.') out.pop_back();
  }
}

void PutTwo(int v, char*& p) {
  *p++ = static_cast<char>('0' + v / 10);
  *p++ = static_cast<char>('0' + v % 10);
}

// Put together in a buffer and added at once: a workbook's dates are a good share of a dump.
void AppendDate(Date date, std::string& out) {
  const CivilDateTime c = ToCivil(date);
  char buffer[32];
  char* p = buffer;
  if (c.year >= 1000 && c.year <= 9999) {
    PutTwo(c.year / 100, p);
    PutTwo(c.year % 100, p);
    *p++ = '-';
    out.append(buffer, p);
  } else {
    std::snprintf(buffer, sizeof buffer, "%04d-", c.year);
    out += buffer;
  }
  p = buffer;
  PutTwo(c.month, p);
  *p++ = '-';
  PutTwo(c.day, p);
  *p++ = 'T';
  PutTwo(c.hour, p);
  *p++ = ':';
  PutTwo(c.minute, p);
  *p++ = ':';
  PutTwo(c.second, p);
  out.append(buffer, p);
  if (c.millisecond != 0) {
    std::snprintf(buffer, sizeof buffer, ".%03d", c.millisecond);
    out += buffer;
  }
}

std::string Digits(unsigned __int128 v) {
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
    v /= 10;
  } while (v != 0);
  return digits;
}

// A non-negative magnitude with `scale` digits after the point.
void AppendScaled(bool negative, unsigned __int128 magnitude, int scale, bool trim_zeros, std::string& out) {
  std::string digits = Digits(magnitude);
  if (static_cast<int>(digits.size()) <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
  std::string whole = digits.substr(0, digits.size() - scale);
  std::string fraction = digits.substr(digits.size() - scale);
  if (trim_zeros) {
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  }
  if (negative && magnitude != 0) out += '-';
  out += whole;
  if (!fraction.empty()) {
    out += '.';
    out += fraction;
  }
}

void AppendHex(const uint8_t* bytes, size_t size, bool upper, std::string& out) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  for (size_t i = 0; i < size; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
}

void AppendGuid(const Guid& guid, std::string& out) {
  // The first three groups are little-endian numbers in the file; the last two are bytes.
  const auto& b = guid.bytes;
  const uint8_t ordered[16] = {b[3], b[2], b[1], b[0], b[5], b[4], b[7], b[6],
                               b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]};
  out += '{';
  AppendHex(ordered, 4, true, out);
  out += '-';
  AppendHex(ordered + 4, 2, true, out);
  out += '-';
  AppendHex(ordered + 6, 2, true, out);
  out += '-';
  AppendHex(ordered + 8, 2, true, out);
  out += '-';
  AppendHex(ordered + 10, 6, true, out);
  out += '}';
}

}  // namespace

namespace {

// Every kind but Null and text, the most common by far: kept apart so that those two take no
// share of the others' set-up.
[[gnu::noinline]] void AppendOtherDumpValue(const Value& value, std::string& out) {
  switch (value.type()) {
    case Value::Type::Null:
    case Value::Type::Text: AppendDumpValue(value, out); break;
    case Value::Type::Integer: {
      char buffer[24];
      auto result = std::to_chars(buffer, buffer + sizeof buffer, value.integer());
      out.append(buffer, result.ptr);
      break;
    }
    case Value::Type::Currency: {
      const int64_t v = value.currency().ten_thousandths;
      const uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
      char buffer[24];
      if (v < 0) out += '-';
      auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude / 10000);
      out.append(buffer, result.ptr);
      const uint64_t fraction = magnitude % 10000;
      out += '.';
      out += static_cast<char>('0' + fraction / 1000);
      out += static_cast<char>('0' + fraction / 100 % 10);
      out += static_cast<char>('0' + fraction / 10 % 10);
      out += static_cast<char>('0' + fraction % 10);
      break;
    }
    case Value::Type::Single: AppendShortest(value.single(), out); break;
    case Value::Type::Double: AppendShortest(value.dbl(), out); break;
    case Value::Type::Decimal: {
      const Decimal& d = value.decimal();
      AppendScaled(d.negative, d.magnitude, d.scale, true, out);
      break;
    }
    case Value::Type::Date: AppendDate(value.date(), out); break;
    case Value::Type::Flag: out += value.flag() ? "true" : "false"; break;
    case Value::Type::Binary:
      out += "0x";
      AppendHex(value.binary().data(), value.binary().size(), false, out);
      break;
    case Value::Type::Guid: AppendGuid(value.guid(), out); break;
  }
}

}  // namespace

void AppendDumpValue(const Value& value, std::string& out) {
  switch (value.type()) {
    case Value::Type::Null: out.append("\\N", 2); break;
    case Value::Type::Text: AppendEscapedText(value.text(), out); break;
    default: AppendOtherDumpValue(value, out);
  }
}

std::string DumpValue(const Value& value) {
  std::string out;
  AppendDumpValue(value, out);
  return out;
}

namespace {

// Lines go straight into `out`; `line_done` is called after each one (to write out a full
// block). The values of a record are read in one call, into the same vector every time.
template <typename LineDone>
void DumpTo(Recordset& records, std::string& out, LineDone line_done) {
  const int count = records.FieldCount();
  for (int i = 0; i < count; ++i) {
    if (i) out += '\t';
    AppendEscapedText(records.FieldName(i), out);
  }
  out += '\n';
  line_done();
  if (records.RecordCount() == 0) return;
  std::vector<Value> values;
  for (records.MoveFirst(); !records.Eof(); records.MoveNext()) {
    records.ReadRecord(values);
    for (const Value& value : values) {
      AppendDumpValue(value, out);
      out += '\t';
    }
    if (!values.empty()) out.pop_back();
    out += '\n';
    line_done();
  }
}

}  // namespace

void DumpRecordset(Recordset& records, std::FILE* out) {
  // Lines are gathered into large blocks: one write per block, not per line.
  constexpr size_t kBlock = 1 << 16;
  std::string block;
  block.reserve(2 * kBlock);
  DumpTo(records, block, [&] {
    if (block.size() >= kBlock) {
      std::fwrite(block.data(), 1, block.size(), out);
      block.clear();
    }
  });
  std::fwrite(block.data(), 1, block.size(), out);
}

std::string DumpRecordset(Recordset& records) {
  std::string all;
  DumpTo(records, all, [] {});
  return all;
}

}  // namespace engine
