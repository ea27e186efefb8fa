// Every key of the shared sort-keys vectors (computed by another Jet library) must come out
// byte for byte. One test per column type, so a failure names the type; each reports its
// first mismatches with the value and both keys.

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <charconv>

#include "engine/jet/index/sort_key.h"
#include "tests/engine/jet/jet_test_util.h"
#include "tests/support/fixtures.h"

namespace engine::jet {
namespace {

struct Vector {
  std::string type, order, value, key_hex;
  int line = 0;
};

using VectorsByType = std::map<std::string, std::vector<Vector>>;

// Reads keys.tsv once for all the tests.
const VectorsByType& LoadVectors() {
  static const VectorsByType vectors = [] {
    VectorsByType by_type;
    std::ifstream in(testsupport::FixturesDir() / "sort-keys" / "keys.tsv");
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
      if (++number == 1) continue;  // header
      Vector v;
      std::istringstream fields(line);
      std::getline(fields, v.type, '\t');
      std::getline(fields, v.order, '\t');
      std::getline(fields, v.value, '\t');
      std::getline(fields, v.key_hex, '\t');
      v.line = number;
      by_type[v.type].push_back(v);
    }
    return by_type;
  }();
  return vectors;
}

void AppendUtf16(char32_t c, std::u16string* out) {
  if (c >= 0x10000) {
    c -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  } else {
    out->push_back(static_cast<char16_t>(c));
  }
}

// The vectors' text form: UTF-8 with \\ \t \n \r and \uXXXX (a single UTF-16 unit, which may
// be half a surrogate pair) escapes.
std::u16string UnescapeText(const std::string& s) {
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    unsigned char b = s[i];
    if (b == '\\') {
      char e = s.at(i + 1);
      if (e == 'u') {
        out.push_back(static_cast<char16_t>(std::stoul(s.substr(i + 2, 4), nullptr, 16)));
        i += 6;
        continue;
      }
      out.push_back(e == 't' ? u'\t' : e == 'n' ? u'\n' : e == 'r' ? u'\r' : static_cast<char16_t>(e));
      i += 2;
      continue;
    }
    int extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
    char32_t c = extra == 0 ? b : b & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) c = (c << 6) | (static_cast<unsigned char>(s.at(i + k)) & 0x3F);
    AppendUtf16(c, &out);
    i += extra + 1;
  }
  return out;
}

// "-12.3400" -> digits and scale.
Decimal ParseDecimal(const std::string& s) {
  Decimal d;
  size_t i = 0;
  if (s[0] == '-') {
    d.negative = true;
    i = 1;
  }
  bool after_point = false;
  for (; i < s.size(); ++i) {
    if (s[i] == '.') {
      after_point = true;
      continue;
    }
    d.magnitude = d.magnitude * 10 + (s[i] - '0');
    if (after_point) ++d.scale;
  }
  return d;
}

int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

// Jet day numbers: before 1899-12-30 the time of day is subtracted from the (negative) day.
double JetDays(const std::string& s) {
  int y, mo, d, h, mi, se;
  EXPECT_EQ(std::sscanf(s.c_str(), "%d-%d-%dT%d:%d:%d", &y, &mo, &d, &h, &mi, &se), 6) << s;
  double day = static_cast<double>(DaysFromCivil(y, mo, d) - DaysFromCivil(1899, 12, 30));
  double time = (h * 3600 + mi * 60 + se) / 86400.0;
  return day < 0 ? day - time : day + time;
}

// A GUID's text as the 16 bytes a row stores (first three fields little-endian).
Guid ParseGuid(const std::string& s) {
  std::string hex;
  for (char c : s) {
    if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
  }
  uint8_t text_order[16];
  for (int i = 0; i < 16; ++i) text_order[i] = static_cast<uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
  Guid g;
  const int stored_from_text[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  for (int i = 0; i < 16; ++i) g.bytes[i] = text_order[stored_from_text[i]];
  return g;
}

struct TypedValue {
  ColumnDefinition column;
  Value value;
};

TypedValue ParseValue(const std::string& type, const std::string& text) {
  static const std::map<std::string, ColumnType> kTypes = {
      {"TEXT", ColumnType::Text},     {"MEMO", ColumnType::Memo},       {"LONG", ColumnType::Long},
      {"INT", ColumnType::Integer},   {"BYTE", ColumnType::Byte},       {"MONEY", ColumnType::Money},
      {"DOUBLE", ColumnType::Double}, {"FLOAT", ColumnType::Float},     {"SHORT_DATE_TIME", ColumnType::DateTime},
      {"BOOLEAN", ColumnType::Boolean}, {"GUID", ColumnType::Guid},     {"NUMERIC", ColumnType::Numeric}};
  TypedValue t;
  t.column.type = kTypes.at(type);
  t.column.precision = 18;
  t.column.scale = 4;
  if (text == "\\N") return t;
  switch (t.column.type) {
    case ColumnType::Text:
    case ColumnType::Memo:
      t.value = Value::Text(UnescapeText(text));
      break;
    case ColumnType::Long:
    case ColumnType::Integer:
    case ColumnType::Byte:
      t.value = Value::Integer(std::stoll(text));
      break;
    case ColumnType::Money: {
      Decimal d = ParseDecimal(text);
      EXPECT_EQ(d.scale, 4) << text;
      int64_t magnitude = static_cast<int64_t>(static_cast<uint64_t>(d.magnitude));
      t.value = Value::Money(Currency{d.negative ? static_cast<int64_t>(0 - static_cast<uint64_t>(magnitude)) : magnitude});
      break;
    }
    case ColumnType::Numeric:
      // Kept at the text's own scale: the column overload must bring it to scale 4.
      t.value = Value::Numeric(ParseDecimal(text));
      break;
    case ColumnType::Double: {
      double number = 0;
      std::from_chars(text.data(), text.data() + text.size(), number);
      t.value = Value::Double(number);
      break;
    }
    case ColumnType::Float: {
      float number = 0;
      std::from_chars(text.data(), text.data() + text.size(), number);
      t.value = Value::Single(number);
      break;
    }
    case ColumnType::DateTime:
      t.value = Value::DateTime(Date{JetDays(text)});
      break;
    case ColumnType::Boolean:
      t.value = Value::Flag(text == "true");
      break;
    case ColumnType::Guid:
      t.value = Value::Id(ParseGuid(text));
      break;
    default:
      ADD_FAILURE() << "unexpected type " << type;
  }
  return t;
}

using testsupport::Hex;

std::string KeyOf(const Vector& v) {
  if (v.type == "TEXT+LONG") {
    // Text ascending then long descending, with column numbers that differ from positions.
    TableDefinition table;
    table.columns.resize(2);
    table.columns[0].type = ColumnType::Long;
    table.columns[0].number = 7;
    table.columns[1].type = ColumnType::Text;
    table.columns[1].number = 3;
    RealIndex index;
    index.columns = {{3, true}, {7, false}};
    size_t bar = v.value.rfind('|');
    std::vector<Value> values = {ParseValue("LONG", v.value.substr(bar + 1)).value,
                                 ParseValue("TEXT", v.value.substr(0, bar)).value};
    return EncodeIndexKey(table, index, values);
  }
  TypedValue t = ParseValue(v.type, v.value);
  std::string key = "junk";  // keys append: what was there must stay
  AppendColumnKey(t.column, t.value, v.order == "asc", &key);
  EXPECT_EQ(key.substr(0, 4), "junk");
  return key.substr(4);
}

class SortKeyVectors : public testing::TestWithParam<std::string> {};

TEST_P(SortKeyVectors, EveryValueGivesTheListedKey) {
  REQUIRE_FIXTURES();
  const auto& all = LoadVectors();
  auto found = all.find(GetParam());
  ASSERT_NE(found, all.end()) << "no vectors of type " << GetParam();
  const std::vector<Vector>& vectors = found->second;
  ASSERT_GE(vectors.size(), 3u);

  int mismatches = 0;
  std::ostringstream report;
  for (const Vector& v : vectors) {
    std::string got = Hex(KeyOf(v));
    if (got != v.key_hex) {
      if (++mismatches <= 8) {
        report << "\n  line " << v.line << " " << v.type << " " << v.order << " value '" << v.value
               << "'\n    expected " << v.key_hex << "\n    got      " << got;
      }
    }
  }
  EXPECT_EQ(mismatches, 0) << mismatches << " of " << vectors.size() << " keys differ:" << report.str();
}

INSTANTIATE_TEST_SUITE_P(ByType, SortKeyVectors,
                         testing::Values("TEXT", "MEMO", "LONG", "INT", "BYTE", "MONEY", "DOUBLE", "FLOAT",
                                         "SHORT_DATE_TIME", "BOOLEAN", "GUID", "NUMERIC", "TEXT+LONG"),
                         [](const testing::TestParamInfo<std::string>& instance) {
                           std::string name;
                           for (char c : instance.param) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

TEST(SortKeyVectorsFile, HoldsEveryRowTheReadmeLists) {
  REQUIRE_FIXTURES();
  size_t total = 0;
  for (const auto& [type, vectors] : LoadVectors()) total += vectors.size();
  EXPECT_EQ(total, 38983u);
  EXPECT_EQ(LoadVectors().at("TEXT").size(), 2u * 16567);
}

}  // namespace
}  // namespace engine::jet
