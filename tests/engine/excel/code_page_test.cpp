// 8-bit texts of BIFF5 workbooks in the code page the workbook names.
#include "engine/excel/code_page.h"

#include <gtest/gtest.h>

namespace {

using engine::excel::DecodeCodePage;

TEST(CodePages, WindowsWesternHasTheEuroAndQuotesInItsControlRange) {
  EXPECT_EQ(DecodeCodePage("\x80 \x93x\x94 caff\xE8", 1252), u"€ “x” caffè");
  EXPECT_EQ(DecodeCodePage("\x81", 1252), u"\uFFFD");  // no character there
  EXPECT_EQ(DecodeCodePage("\x80\xE8", 32769), u"\u0080è");  // Latin-1
}

TEST(CodePages, OtherCodePagesGoThroughIconv) {
  EXPECT_EQ(DecodeCodePage("\xCC\xEE\xF1\xEA\xE2\xE0", 1251), u"Москва");
  EXPECT_EQ(DecodeCodePage("\x8A\xBF", 1250), u"Šż");
  EXPECT_EQ(DecodeCodePage("\x93\xFA\x96\x7B", 932), u"日本");
}

TEST(CodePages, BrokenSequencesBecomeReplacementCharactersAndTheRestIsKept) {
  EXPECT_EQ(DecodeCodePage("ab\x81", 932), u"ab\uFFFD");  // a lead byte without its trail byte
  EXPECT_EQ(DecodeCodePage("a\xFF" "b", 932), u"a\uFFFDb");
}

}  // namespace
