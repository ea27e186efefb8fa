#include "import/text_rules.h"

#include <gtest/gtest.h>

namespace import {
namespace {

TEST(CleanCategory, ReplacesEachForbiddenCharacterOneForOne) {
  EXPECT_EQ(CleanCategory(u"A/B:C"), u"A-B-C");
  EXPECT_EQ(CleanCategory(u"\"|><*?/\\:"), u"---------");
  EXPECT_EQ(CleanCategory(u"a\\b?c*d<e>f|g\"h"), u"a-b-c-d-e-f-g-h");
  EXPECT_EQ(CleanCategory(u"Pasta fresca"), u"Pasta fresca");
}

TEST(CleanCategory, LeavesLookAlikesAndHyphensAlone) {
  // Typographic quotes, full-width colon and slash, a hyphen: none is one of the nine.
  const std::u16string look_alikes = u"\u201Cx\u201D \uFF1A \uFF0F \u2019 - \u2215";
  EXPECT_EQ(CleanCategory(look_alikes), look_alikes);
}

TEST(CleanCategory, KeepsTheFirstFiftyUnits) {
  EXPECT_EQ(CleanCategory(u""), u"");
  const std::u16string fifty(50, u'x');
  EXPECT_EQ(CleanCategory(fifty), fifty);

  // Characters after the 50th are dropped, forbidden ones included.
  std::u16string sixty = std::u16string(49, u'a') + u"/" + u"b:" + std::u16string(8, u'c');
  ASSERT_EQ(sixty.size(), 60u);
  EXPECT_EQ(CleanCategory(sixty), std::u16string(49, u'a') + u"-");

  // Lengths count 16-bit units: a character outside the BMP across the limit is cut in two.
  const std::u16string emoji = std::u16string(49, u'a') + u"\U0001F600";
  ASSERT_EQ(emoji.size(), 51u);
  EXPECT_EQ(CleanCategory(emoji), emoji.substr(0, 50));
}

TEST(CutToLimit, CutsAfterTheFiftiethUnit) {
  EXPECT_EQ(CutToLimit(std::u16string(49, u'x')).size(), 49u);
  EXPECT_EQ(CutToLimit(std::u16string(50, u'x')).size(), 50u);
  EXPECT_EQ(CutToLimit(std::u16string(51, u'x') + u"end"), std::u16string(50, u'x'));
  EXPECT_EQ(CutToLimit(u""), u"");
}

TEST(ToSql, DoublesEveryApostropheAndUpdatesTheCallersText) {
  struct Case {
    std::u16string input, quoted;
  };
  const Case cases[] = {
      {u"", u""},
      {u"'", u"''"},
      {u"''", u"''''"},
      {u"a'b'c", u"a''b''c"},
      {u"L'ORO-12", u"L''ORO-12"},
      {u"fine'", u"fine''"},
      {u"ART-1", u"ART-1"},
      // Only U+0027: the typographic apostrophe and double quotes pass unchanged.
      {u"l\u2019olio \"extra\"", u"l\u2019olio \"extra\""},
  };
  for (const Case& c : cases) {
    std::u16string caller = c.input;
    const std::u16string result = ToSql(caller);
    EXPECT_EQ(result, c.quoted);
    EXPECT_EQ(caller, c.quoted) << "the caller's text holds the quoted text too";
  }
}

}  // namespace
}  // namespace import
