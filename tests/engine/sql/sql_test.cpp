#include "engine/sql/sql.h"

#include <gtest/gtest.h>

#include "engine/base/error.h"
#include "engine/value/value.h"

namespace engine {
namespace {

TEST(Sql, RecordSourcesTheProgramSends) {
  EXPECT_EQ(ParseRecordSource(u"Articoli").table, u"Articoli");
  EXPECT_FALSE(ParseRecordSource(u"Articoli").where_column);
  EXPECT_EQ(ParseRecordSource(u"'Listino 2024$'").table, u"'Listino 2024$'");
  EXPECT_EQ(ParseRecordSource(u"Select * From Articoli;").table, u"Articoli");
  EXPECT_EQ(ParseRecordSource(u"select * from [Articoli]").table, u"Articoli");

  SelectStatement lookup = ParseRecordSource(u"Select * From Articoli where [Codice Articolo]='L''ORO';");
  EXPECT_EQ(lookup.table, u"Articoli");
  ASSERT_TRUE(lookup.where_column);
  EXPECT_EQ(*lookup.where_column, u"Codice Articolo");
  EXPECT_EQ(lookup.where_literal, u"L'ORO");
  EXPECT_EQ(ParseRecordSource(u"SELECT * FROM T WHERE C=''").where_literal, u"");
}

TEST(Sql, AnythingElseIsAnErrorNotAGuess) {
  for (const char16_t* bad : {u"Select Codice From T;", u"Select * From T where C='x' or 1=1;",
                              u"Select * From T where C='unterminated;", u"Select * From ;",
                              u"Select * From T; DROP T;", u"", u"   "}) {
    EXPECT_THROW(ParseRecordSource(bad), Error) << ToUtf8(bad);
  }
  EXPECT_EQ(ParseDeleteAll(u"DELETE * From Articoli;").table, u"Articoli");
  EXPECT_EQ(ParseDeleteAll(u"delete from [Articoli]").table, u"Articoli");
  EXPECT_THROW(ParseDeleteAll(u"DELETE * From Articoli where 1=1;"), Error);
  EXPECT_THROW(ParseDeleteAll(u"DROP TABLE Articoli;"), Error);
}

}  // namespace
}  // namespace engine
