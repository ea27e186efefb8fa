// Byte-level decoding without whole files: Jet 4 text, Jet 3 code pages, Jet 3 rows longer
// than 256 bytes (jump table), and the dump form of every value kind and of texts.
#include <gtest/gtest.h>

#include "engine/text/code_page.h"
#include "tools/archivi/dump/dump_format.h"
#include "engine/base/error.h"
#include "engine/jet/row/row_decoder.h"
#include "engine/jet/row/text_codec.h"
#include "engine/jet/storage/pager.h"
#include "tests/engine/jet/jet_test_util.h"
#include "tests/support/files.h"

namespace {

using namespace engine::jet;

std::u16string Jet4(std::vector<uint8_t> bytes) {
  std::u16string text;
  DecodeJet4Text(bytes.data(), bytes.size(), text);
  return text;
}

TEST(Jet4Text, PlainAndCompressedForms) {
  EXPECT_EQ(Jet4({'A', 0, 0xAC, 0x20}), u"A€");
  EXPECT_EQ(Jet4({0xFF, 0xFE, 'b', 'a', 'z'}), u"baz");
  // 00 switches to two-byte characters and back.
  EXPECT_EQ(Jet4({0xFF, 0xFE, 'a', 0, 0xAC, 0x20, 0, 'b'}), u"a€b");
  EXPECT_EQ(Jet4({0xFF, 0xFE}), u"");
  EXPECT_EQ(Jet4({}), u"");
  EXPECT_EQ(Jet4({'A', 0, 'B'}), u"A");  // an odd byte at the end is dropped
  EXPECT_EQ(Jet4({0xFF, 0xFE, 'a', 0, 0xAC}), u"a");
  EXPECT_EQ(Jet4({0xFF, 0xFE, 'a', 0}), u"a");            // a switch as the last byte
  EXPECT_EQ(Jet4({0xFF, 0xFE, 0, 0, 'x'}), u"x");         // an empty run of each width
  EXPECT_EQ(Jet4({0xFF, 0xFE, 0, 0xAC, 0x20}), u"€");     // ends inside a two-byte run
  // One-byte runs of every length around the eight bytes read at a time, the switch after each.
  for (uint8_t run = 0; run <= 19; ++run) {
    std::vector<uint8_t> bytes{0xFF, 0xFE};
    std::u16string expected;
    for (uint8_t i = 0; i < run; ++i) {
      bytes.push_back(static_cast<uint8_t>('a' + i));
      expected += static_cast<char16_t>('a' + i);
    }
    bytes.insert(bytes.end(), {0, 0xAC, 0x20, 0, 'z'});
    EXPECT_EQ(Jet4(bytes), expected + u"€z") << int{run};
  }
  // A text decoded into a longer one left from the last row.
  std::u16string reused = u"a longer text from the last row";
  const std::vector<uint8_t> short_text{0xFF, 0xFE, 'b', 'a', 'z'};
  DecodeJet4Text(short_text.data(), short_text.size(), reused);
  EXPECT_EQ(reused, u"baz");
}

TEST(Jet3Text, WindowsCodePages) {
  const uint8_t bytes[] = {'O', 'k', 0x80, 0x8A, 0xC0, 0xE8};
  auto decode = [&](uint16_t code_page) {
    return TextDecoder(JetVersion::Jet3, code_page, "f").Decode(bytes, sizeof bytes);
  };
  EXPECT_EQ(decode(1252), u"Ok€ŠÀè");
  EXPECT_EQ(decode(1250), u"Ok€ŠŔč");
  EXPECT_EQ(decode(1251), u"Ok\u0402\u0409\u0410\u0438");
  EXPECT_EQ(decode(1253), u"Ok€\uFFFD\u0390\u03B8");
  EXPECT_EQ(decode(874)[4], u'\u0E20');
  EXPECT_EQ(decode(0), decode(1252));  // unset: Western European
  const uint8_t undefined[] = {0x81};
  EXPECT_EQ(TextDecoder(JetVersion::Jet3, 1252, "f").Decode(undefined, 1), u"\uFFFD");
  const std::initializer_list<uint16_t> single_byte = {874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};
  for (const uint16_t code_page : single_byte) {
    EXPECT_NE(engine::UpperHalfOf(code_page), nullptr) << code_page;
  }
}

TEST(Jet3Text, MultiByteCodePagesReadAsciiAndRefuseTheRest) {
  TextDecoder japanese(JetVersion::Jet3, 932, "f.mdb");
  const uint8_t ascii[] = {'A', 'B'};
  EXPECT_EQ(japanese.Decode(ascii, 2), u"AB");
  const uint8_t kanji[] = {0x93, 0xFA};
  try {
    japanese.Decode(kanji, 2);
    FAIL() << "decoded a multi-byte code page";
  } catch (const engine::Error& error) {
    EXPECT_EQ(error.file(), "f.mdb");
    EXPECT_NE(error.reason().find("932"), std::string::npos);
  }
}

// A Jet 3 row of 312 bytes with two text columns: the second column's offsets need the jump
// table to reach past byte 255.
TEST(Jet3Row, JumpTableAddsMultiplesOf256) {
  REQUIRE_FIXTURES();
  auto pager = Pager::FromBytes(testsupport::ReadBytes(testsupport::Fixture("jet/V1997/delTestV1997.mdb")), "t.mdb");
  TableDefinition table;
  table.version = JetVersion::Jet3;
  table.var_columns = 2;
  table.columns.resize(2);
  for (uint16_t i = 0; i < 2; ++i) {
    table.columns[i].type = ColumnType::Text;
    table.columns[i].number = i;
    table.columns[i].var_index = i;
    table.columns[i].flags = 0x02;
  }
  std::vector<uint8_t> row(312, 0);
  row[0] = 2;                                         // columns
  for (int i = 1; i < 301; ++i) row[i] = 'a';         // column 0: bytes 1..300
  for (int i = 301; i < 306; ++i) row[i] = 'b';       // column 1: bytes 301..305
  row[308] = 1;                                       // offset of slot 0
  row[307] = 301 - 256;                               // slot 1, +256 from the jump table
  row[306] = 306 - 256;                               // end of data
  row[309] = 1;                                       // jump: slot 1 is the first past 255
  row[310] = 2;                                       // variable slots
  row[311] = 0x03;                                    // null mask: both present
  TextDecoder text(JetVersion::Jet3, 1252, "t.mdb");
  RowDecoder decoder(*pager, table, text);
  CrackedRow cracked;
  decoder.Crack(row.data(), row.size(), cracked);
  EXPECT_EQ(decoder.Decode(cracked, 0), engine::Value::Text(std::u16string(300, u'a')));
  EXPECT_EQ(decoder.Decode(cracked, 1), engine::Value::Text(u"bbbbb"));

  row[311] = 0x01;  // column 1 Null
  decoder.Crack(row.data(), row.size(), cracked);
  EXPECT_TRUE(decoder.Decode(cracked, 1).is_null());

  // Cut to 20 bytes, the slot count read ('a' = 97) cannot fit.
  EXPECT_THROW(decoder.Crack(row.data(), 20, cracked), engine::Error);
}

TEST(DumpForm, EveryValueKind) {
  using engine::DumpValue;
  using engine::Value;
  EXPECT_EQ(DumpValue(Value::Null()), "\\N");
  EXPECT_EQ(DumpValue(Value::Text(u"a\tb\\c\nd\re")), "a\\tb\\\\c\\nd\\re");
  EXPECT_EQ(DumpValue(Value::Text(u"")), "");
  EXPECT_EQ(DumpValue(Value::Integer(-32768)), "-32768");
  EXPECT_EQ(DumpValue(Value::Money({-5000})), "-0.5000");
  EXPECT_EQ(DumpValue(Value::Money({123456789})), "12345.6789");
  EXPECT_EQ(DumpValue(Value::Money({0})), "0.0000");
  EXPECT_EQ(DumpValue(Value::Double(0.30000000000000004)), "0.30000000000000004");
  EXPECT_EQ(DumpValue(Value::Double(1e-7)), "0.0000001");
  EXPECT_EQ(DumpValue(Value::Double(1e21)), "1000000000000000000000");
  EXPECT_EQ(DumpValue(Value::Double(-12.5)), "-12.5");
  EXPECT_EQ(DumpValue(Value::Double(-0.0)), "0");
  EXPECT_EQ(DumpValue(Value::Single(0.1f)), "0.1");
  EXPECT_EQ(DumpValue(Value::Single(3.0e9f)), "3000000000");
  EXPECT_EQ(DumpValue(Value::Numeric({true, 3, 1234500})), "-1234.5");
  EXPECT_EQ(DumpValue(Value::Numeric({false, 4, 5})), "0.0005");
  EXPECT_EQ(DumpValue(Value::Numeric({false, 2, 1200})), "12");
  EXPECT_EQ(DumpValue(Value::Flag(true)), "true");
  EXPECT_EQ(DumpValue(Value::DateTime({27293.4375})), "1974-09-21T10:30:00");
  EXPECT_EQ(DumpValue(Value::DateTime({0.5 + 0.123 / 86400})), "1899-12-30T12:00:00.123");
  EXPECT_EQ(DumpValue(Value::Bytes({0x00, 0xAB, 0x10})), "0x00ab10");
  engine::Guid guid;
  const uint8_t stored[16] = {0x6A, 0x27, 0x39, 0x8E, 0xA8, 0xBC, 0x01, 0x02,
                              0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A};
  std::copy(stored, stored + 16, guid.bytes.begin());
  EXPECT_EQ(DumpValue(Value::Id(guid)), "{8E39276A-BCA8-0201-0304-05060708090A}");
}

// The character that stops plain copying at every place in and around the units copied four
// at a time; 0x1F, 0x20, 0x7E and 0x7F are the edges of printable ASCII.
TEST(DumpForm, TextEscapesWhereverTheyFall) {
  const std::pair<std::u16string, std::string> cases[] = {{u"\\", "\\\\"},
                                                          {u"\t", "\\t"},
                                                          {u"\n", "\\n"},
                                                          {u"\r", "\\r"},
                                                          {u"\x1F", "\x1F"},
                                                          {u" ", " "},
                                                          {u"~", "~"},
                                                          {u"\x7F", "\x7F"},
                                                          {u"é", "\xC3\xA9"},
                                                          {u"€", "\xE2\x82\xAC"},
                                                          {u"\U0001F600", "\xF0\x9F\x98\x80"}};
  for (const auto& [unit, dumped] : cases) {
    for (size_t at = 0; at <= 9; ++at) {
      std::u16string text = u"abcdefghi";
      text.insert(at, unit);
      std::string expected = "abcdefghi";
      expected.insert(at, dumped);
      EXPECT_EQ(engine::DumpValue(engine::Value::Text(text)), expected) << dumped << " at " << at;
    }
  }
}

TEST(FixedValues, DecodeLittleEndianKinds) {
  auto decode = [](ColumnType type, const uint8_t* bytes) {
    ColumnDefinition column;
    column.type = type;
    return DecodeFixedValue(column, bytes);
  };
  const uint8_t minus_one[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(decode(ColumnType::Byte, minus_one), engine::Value::Integer(255));
  EXPECT_EQ(decode(ColumnType::Integer, minus_one), engine::Value::Integer(-1));
  EXPECT_EQ(decode(ColumnType::Long, minus_one), engine::Value::Integer(-1));
  EXPECT_EQ(decode(ColumnType::Money, minus_one), engine::Value::Money({-1}));
}

}  // namespace
