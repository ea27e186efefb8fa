// Texts in Windows code pages, as Jet 3 databases and BIFF5 workbooks store them.
#include "engine/text/code_page.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "engine/base/bytes.h"

namespace {

using engine::DecodeCodePage;

TEST(CodePages, WindowsWesternHasTheEuroAndQuotesInItsControlRange) {
  EXPECT_EQ(DecodeCodePage("\x80 \x93x\x94 caff\xE8", 1252), u"€ “x” caffè");
  EXPECT_EQ(DecodeCodePage("\x81", 1252), u"\uFFFD");  // no character there
  EXPECT_EQ(DecodeCodePage("\x80\xE8", 32769), u"\u0080è");  // Latin-1
}

TEST(CodePages, OtherCodePagesDecodeThroughTablesOrIconv) {
  EXPECT_EQ(DecodeCodePage("\xCC\xEE\xF1\xEA\xE2\xE0", 1251), u"Москва");
  EXPECT_EQ(DecodeCodePage("\x8A\xBF", 1250), u"Šż");
  EXPECT_EQ(DecodeCodePage("\x93\xFA\x96\x7B", 932), u"日本");
}

TEST(CodePages, BrokenSequencesBecomeReplacementCharactersAndTheRestIsKept) {
  EXPECT_EQ(DecodeCodePage("ab\x81", 932), u"ab\uFFFD");  // a lead byte without its trail byte
  EXPECT_EQ(DecodeCodePage("a\xFF" "b", 932), u"a\uFFFDb");
}

// The tables decode Jet 3 texts and workbook texts alike; iconv, which decoded workbooks
// before, reads every byte of those code pages the same way. (glibc joins 1255 and 1258
// combining marks to the letter before, so a byte alone says nothing about those two.)
TEST(CodePages, TablesReadEveryByteAsIconvDoes) {
  for (const uint16_t code_page : std::initializer_list<uint16_t>{874, 1250, 1251, 1252, 1253, 1254, 1256, 1257}) {
    iconv_t converter = iconv_open("UTF-16LE", ("CP" + std::to_string(code_page)).c_str());
    ASSERT_NE(converter, reinterpret_cast<iconv_t>(-1)) << code_page;
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
      char in[1] = {static_cast<char>(byte)}, out[4];
      char *in_at = in, *out_at = out;
      size_t in_left = 1, out_left = sizeof out;
      iconv(converter, nullptr, nullptr, nullptr, nullptr);
      const bool decoded = iconv(converter, &in_at, &in_left, &out_at, &out_left) != static_cast<size_t>(-1);
      const char16_t expected = decoded ? engine::GetU16(reinterpret_cast<const uint8_t*>(out)) : u'\uFFFD';
      EXPECT_EQ(engine::UpperHalfOf(code_page)[byte - 0x80], expected) << code_page << " " << byte;
    }
    iconv_close(converter);
  }
}

<<<<<<< HEAD
// Writing goes back the same way: each byte's character gives that byte, U+FFFD a byte the
// page leaves undefined (so what was read is written back alike), anything else '?'.
TEST(CodePages, EveryCharacterReadIsWrittenBackAsItsByte) {
  for (const uint16_t code_page :
       std::initializer_list<uint16_t>{874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258}) {
    const char16_t* upper = engine::UpperHalfOf(code_page);
    for (int byte = 0; byte <= 0xFF; ++byte) {
      const char16_t unit = byte < 0x80 ? char16_t(byte) : upper[byte - 0x80];
      const uint8_t back = engine::SingleByteOf(upper, unit);
      EXPECT_TRUE(unit == u'\uFFFD' ? upper[back - 0x80] == unit : back == byte) << code_page << " " << byte;
    }
    EXPECT_EQ(engine::SingleByteOf(upper, u'\u4E00'), '?') << code_page;
=======
// Jet 3 texts written: a character the code page holds is its byte, every defined byte of a
// table's code page coming back as itself; another is its best fit, else "?".
TEST(CodePages, EncodingKeepsWhatTheCodePageHoldsAndFitsTheRest) {
  struct Case {
    uint16_t code_page;
    std::u16string text;
    std::string bytes;
    bool exact;
  };
  const Case cases[] = {
      {1252, u"Caffè € œß “x”", "Caff\xE8 \x80 \x9C\xDF \x93x\x94", true},
      {1252, u"ő Ł α\u00A0", "o L ?\xA0", false},
      {1250, u"ő Ł", "\xF5 \xA3", true},
      {1253, u"α", "\xE1", true},
      {1251, u"é–\u2019", "e\x96\x92", false},
      {1252, u"\U0001F600x\uFFFD", "?x?", false},  // a surrogate pair is one character
      {932, u"aé", "ae", false},                   // no table: ASCII alone
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(engine::EncodeSingleByte(engine::UpperHalfOf(c.code_page), c.text, out), c.exact) << c.code_page;
    EXPECT_EQ(out, c.bytes) << c.code_page;
  }
  for (const uint16_t code_page :
       std::initializer_list<uint16_t>{874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258}) {
    const char16_t* upper_half = engine::UpperHalfOf(code_page);
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
      if (upper_half[byte - 0x80] == u'\uFFFD') continue;
      std::string out;
      EXPECT_TRUE(engine::EncodeSingleByte(upper_half, std::u16string(1, upper_half[byte - 0x80]), out));
      EXPECT_EQ(out, std::string(1, static_cast<char>(byte))) << code_page << " " << byte;
    }
>>>>>>> jet3-rows
  }
}

}  // namespace
