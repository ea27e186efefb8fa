// Table and field names as Jet's Excel driver makes them.
#include "engine/excel/table_names.h"

#include <gtest/gtest.h>

#include "engine/value/value.h"

namespace {

using namespace engine::excel;

TEST(TableNames, SheetsWithOnlyLettersDigitsAndUnderscoresAreNotQuoted) {
  EXPECT_EQ(SheetTableName(u"Foglio1"), u"Foglio1$");
  EXPECT_EQ(SheetTableName(u"dati_2024"), u"dati_2024$");
  EXPECT_EQ(SheetTableName(u"Città"), u"Città$");
  EXPECT_EQ(SheetTableName(u"Listino 2024"), u"'Listino 2024$'");
  EXPECT_EQ(SheetTableName(u"Prezzi-B"), u"'Prezzi-B$'");
  EXPECT_EQ(SheetTableName(u"Seamus O'Reilly"), u"'Seamus O''Reilly$'");
}

TEST(TableNames, UnquotingUndoesQuoting) {
  for (const char16_t* sheet : {u"Foglio1", u"Listino 2024", u"Seamus O'Reilly", u"''", u"a'"}) {
    EXPECT_EQ(UnquoteTableName(SheetTableName(sheet)), std::u16string(sheet) + u"$") << engine::ToUtf8(sheet);
  }
  EXPECT_EQ(UnquoteTableName(u"Prezzi"), u"Prezzi");
  EXPECT_EQ(UnquoteTableName(u"'"), u"'");
}

TEST(FieldNames, BlankHeadersAreNumberedByColumnAndRepeatsGetANumber) {
  std::vector<std::u16string> names = MakeFieldNames({u"Preis", u"", u"preis", u"Preis", u"F2", u""});
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Preis", u"F2", u"preis1", u"Preis2", u"F21", u"F6"}));
}

TEST(FieldNames, NamesAreCutAt64CharactersAndStayUnique) {
  std::u16string long_name(70, u'x');
  std::vector<std::u16string> names = MakeFieldNames({long_name, long_name});
  EXPECT_EQ(names[0], std::u16string(64, u'x'));
  EXPECT_EQ(names[1], std::u16string(63, u'x') + u"1");
}

}  // namespace
