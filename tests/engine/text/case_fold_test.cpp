// Names compare without regard to letter case alike in databases and in workbooks.
#include "engine/text/case_fold.h"

#include <gtest/gtest.h>

#include "engine/text/utf.h"

namespace {

using engine::FoldCase;
using engine::SameName;

TEST(CaseFold, NamesMatchAlikeThroughSameNameAndTheFoldedForm) {
  struct Case {
    std::u16string_view a, b;
    bool same;
  };
  const Case cases[] = {
      {u"Articoli", u"ARTICOLI", true},
      {u"CAFFÈ", u"caffè", true},
      {u"ŞEKER", u"şeker", true},       // Latin Extended-A
      {u"ΟΔΟΣ", u"οδος", true},          // final sigma
      {u"МОСКВА", u"москва", true},
      {u"Ÿ", u"ÿ", true},
      {u"İ", u"ı", false},               // dotted and dotless i are letters of their own
      {u"Prezzo", u"Prezzi", false},
      {u"×", u"÷", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SameName(c.a, c.b), c.same) << engine::ToUtf8(c.a);
    EXPECT_EQ(FoldCase(c.a) == FoldCase(c.b), c.same) << engine::ToUtf8(c.a);
  }
  EXPECT_EQ(FoldCase(u"CAFFÈ Ü-1"), u"caffè ü-1");
  EXPECT_EQ(FoldCase(u"×"), u"×");
}

// Every character's small letter belongs to the same name as the character, so that LCase,
// UCase and the folded form never part letters SameName keeps together.
TEST(CaseFold, SmallAndCapitalLettersStayInTheirPair) {
  for (char16_t c = 0; c < 0x500; ++c) {
    EXPECT_EQ(engine::UpperCase(engine::LowerCase(c)), engine::UpperCase(c)) << static_cast<int>(c);
    EXPECT_EQ(engine::UpperCase(engine::UpperCase(c)), engine::UpperCase(c)) << static_cast<int>(c);
  }
}

}  // namespace
