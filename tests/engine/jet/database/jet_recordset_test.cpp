// Record sets on the full price list (5,000 articles): counts, moves, fields, the statements
// the program sends, and WHERE lookups with the General sort order's notion of equality.
#include <gtest/gtest.h>

#include "engine/base/error.h"
#include "tests/engine/jet/jet_test_util.h"
#include "tests/support/files.h"
#include "tests/support/whole_record_reads.h"

namespace {

constexpr long kArticles = 5000;

class FullPriceList : public testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_FIXTURES();
    database_ = testsupport::OpenFixture("listini/listini-pieno.mdb");
  }
  // Codes of every record of a lookup, in the set's order.
  std::vector<std::u16string> Codes(const std::u16string& literal) {
    std::u16string statement = u"Select * From Articoli where [Codice Articolo]='";
    for (char16_t c : literal) {
      statement += c;
      if (c == u'\'') statement += u'\'';
    }
    statement += u"';";
    auto records = database_->OpenRecordset(statement);
    std::vector<std::u16string> codes;
    if (records->RecordCount() == 0) return codes;
    for (records->MoveFirst(); !records->Eof(); records->MoveNext()) {
      codes.push_back(records->GetValue(u"Codice Articolo").text());
    }
    return codes;
  }
  std::unique_ptr<engine::Database> database_;
};

TEST_F(FullPriceList, CountsAndMovesOverTheWholeTable) {
  for (std::u16string source : {u"Articoli", u"Select * From Articoli;", u"select * from [articoli]"}) {
    auto records = database_->OpenRecordset(source);
    EXPECT_EQ(records->RecordCount(), kArticles) << engine::ToUtf8(source);
    EXPECT_FALSE(records->Eof());
    long seen = 0;
    for (records->MoveFirst(); !records->Eof(); records->MoveNext()) ++seen;
    EXPECT_EQ(seen, kArticles);
    EXPECT_THROW(records->MoveNext(), engine::Error);
    EXPECT_THROW(records->GetValue(0), engine::Error);
    records->MoveLast();
    EXPECT_FALSE(records->Eof());
    EXPECT_EQ(records->RecordCount(), kArticles);
    records->MoveNext();
    EXPECT_TRUE(records->Eof());
  }
}

TEST_F(FullPriceList, FirstAndLastRecordsHoldTheirValues) {
  auto records = database_->OpenRecordset(u"Articoli");
  const auto expected = testsupport::SplitLines(
      testsupport::ReadText(testsupport::Listini("expected/listini-pieno.Articoli.tsv")));
  records->MoveLast();
  const auto last = testsupport::SplitTabs(expected.back());
  EXPECT_EQ(engine::ToUtf8(records->GetValue(1).text()), last[1]);
  EXPECT_EQ(records->GetValue(0).integer(), std::stol(last[0]));
  records->MoveFirst();
  const auto first = testsupport::SplitTabs(expected[1]);
  EXPECT_EQ(records->GetValue(0).integer(), std::stol(first[0]));
}

TEST_F(FullPriceList, FieldsByPositionAndByNameIgnoringCase) {
  auto records = database_->OpenRecordset(u"Articoli");
  ASSERT_EQ(records->FieldCount(), 9);
  const std::u16string names[] = {u"IdArticolo", u"Codice Articolo", u"Descrizione", u"Descrizione Catalogo",
                                  u"Prezzo", u"Prezzo 2", u"Categoria", u"Data Inserimento", u"Immagine"};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(records->FieldName(i), names[i]);
  EXPECT_EQ(records->FieldPosition(u"codice articolo"), 1);
  EXPECT_EQ(records->FieldPosition(u"PREZZO 2"), 5);
  EXPECT_THROW(records->FieldPosition(u"Prezzo3"), engine::Error);
  EXPECT_THROW(records->FieldName(9), engine::Error);
  EXPECT_EQ(records->GetValue(u"IDARTICOLO"), records->GetValue(0));
  EXPECT_EQ(records->GetValue(u"Prezzo").type(), engine::Value::Type::Currency);
  EXPECT_EQ(records->GetValue(u"Data Inserimento").type(), engine::Value::Type::Date);
}

TEST_F(FullPriceList, LookupIgnoresCaseAndTrailingSpaces) {
  // Two rows: "ART-000777" and "art-000777".
  auto both = Codes(u"ART-000777");
  std::sort(both.begin(), both.end());
  EXPECT_EQ(both, (std::vector<std::u16string>{u"ART-000777", u"art-000777"}));
  EXPECT_EQ(Codes(u"Art-000777").size(), 2u);
  // Stored with a trailing space; found without it, and the other way round.
  EXPECT_EQ(Codes(u"ART-000780"), std::vector<std::u16string>{u"ART-000780 "});
  EXPECT_EQ(Codes(u"ART-000780   ").size(), 1u);
  EXPECT_EQ(Codes(u"ART-000010").size(), 2u);  // exact duplicates
  // A leading space is significant.
  EXPECT_EQ(Codes(u"ART-000779").size(), 0u);
  EXPECT_EQ(Codes(u" ART-000779").size(), 1u);
}

TEST_F(FullPriceList, LookupOfApostrophesAndNonAsciiCodes) {
  EXPECT_EQ(Codes(u"L'ORO-12"), std::vector<std::u16string>{u"L'ORO-12"});
  EXPECT_EQ(Codes(u"L''ORO-DOPPIO"), std::vector<std::u16string>{u"L''ORO-DOPPIO"});
  EXPECT_EQ(Codes(u"caffè"), std::vector<std::u16string>{u"CAFFÈ"});
  EXPECT_EQ(Codes(u"€-promo-01"), std::vector<std::u16string>{u"€-PROMO-01"});
  EXPECT_EQ(Codes(u"ελληνικό-1"), std::vector<std::u16string>{u"Ελληνικό-1"});
  EXPECT_EQ(Codes(u"ZUPPA-ß").size(), 1u);
  EXPECT_TRUE(Codes(u"ART-999999").empty());
  EXPECT_TRUE(Codes(u"").empty());  // Null codes never equal a literal
}

TEST_F(FullPriceList, EmptyLookupCountsZeroAndHasNoRecord) {
  auto records = database_->OpenRecordset(u"Select * From Articoli where [Codice Articolo]='NESSUNO';");
  EXPECT_EQ(records->RecordCount(), 0);
  EXPECT_TRUE(records->Eof());
  EXPECT_THROW(records->MoveFirst(), engine::Error);
  EXPECT_THROW(records->GetValue(0), engine::Error);
  EXPECT_EQ(records->FieldCount(), 9);
}

// A column without an index is searched by scanning; its result agrees with a filter over
// the whole table.
TEST_F(FullPriceList, LookupOnUnindexedColumnAgreesWithFullScan) {
  auto all = database_->OpenRecordset(u"Articoli");
  std::u16string category;
  all->MoveFirst();
  while (all->GetValue(u"Descrizione").is_null()) all->MoveNext();
  const std::u16string description = all->GetValue(u"Descrizione").text();
  long expected = 0;
  for (all->MoveFirst(); !all->Eof(); all->MoveNext()) {
    const auto value = all->GetValue(u"Descrizione");
    if (!value.is_null() && value.text() == description) ++expected;
  }
  auto found = database_->OpenRecordset(u"Select * From Articoli where [descrizione]='" + description + u"'");
  EXPECT_EQ(found->RecordCount(), expected);
  EXPECT_GE(expected, 1);
  for (found->MoveFirst(); !found->Eof(); found->MoveNext()) EXPECT_EQ(found->GetValue(2).text(), description);
}

TEST_F(FullPriceList, LookupOnNumberUsesItsText) {
  auto found = database_->OpenRecordset(u"Select * From Articoli where [IdArticolo]='17'");
  ASSERT_EQ(found->RecordCount(), 1);
  found->MoveFirst();
  EXPECT_EQ(found->GetValue(0).integer(), 17);
}

TEST_F(FullPriceList, UnknownTablesColumnsAndStatementsAreRefused) {
  EXPECT_THROW(database_->OpenRecordset(u"Listino"), engine::Error);
  EXPECT_THROW(database_->OpenRecordset(u"Select * From Articoli where [Codice]='x'"), engine::Error);
  EXPECT_THROW(database_->OpenRecordset(u"Select Codice From Articoli"), engine::Error);
  try {
    database_->OpenRecordset(u"Listino");
  } catch (const engine::Error& error) {
    EXPECT_NE(error.file().find("listini-pieno.mdb"), std::string::npos);
    EXPECT_NE(error.reason().find("Listino"), std::string::npos);
  }
}

// Reopening a record set on the same database object reads rows only; sets are independent.
TEST_F(FullPriceList, ReopenedSetsAreIndependent) {
  auto first = database_->OpenRecordset(u"Articoli");
  auto second = database_->OpenRecordset(u"Articoli");
  first->MoveLast();
  second->MoveFirst();
  EXPECT_NE(first->GetValue(0), second->GetValue(0));
  EXPECT_EQ(second->RecordCount(), kArticles);
}

TEST(JetRecordset, EmptyTableCountsZero) {
  REQUIRE_FIXTURES();
  auto database = testsupport::OpenFixture("listini/listini.mdb");
  auto records = database->OpenRecordset(u"Articoli");
  EXPECT_EQ(records->RecordCount(), 0);
  EXPECT_TRUE(records->Eof());
  EXPECT_THROW(records->MoveLast(), engine::Error);
}

TEST(JetRecordset, EmptyTextAndNullDiffer) {
  REQUIRE_FIXTURES();
  auto database = testsupport::OpenFixture("listini/fonte.mdb");
  auto records = database->OpenRecordset(u"Prodotti");
  int nulls = 0, empties = 0;
  for (records->MoveFirst(); !records->Eof(); records->MoveNext()) {
    const auto code = records->GetValue(u"Codice");
    if (code.is_null()) ++nulls;
    else if (code.text().empty()) ++empties;
  }
  EXPECT_GT(nulls, 0);
  EXPECT_GT(empties, 0);
}

// Every table of every fixture database, damaged ones included.
TEST(JetRecordset, WholeRecordsReadAsTheirFieldsOneByOne) {
  REQUIRE_FIXTURES();
  long compared = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(testsupport::FixturesDir())) {
    if (entry.path().extension() != ".mdb") continue;
    std::unique_ptr<engine::Database> database;
    try {
      database = engine::jet::OpenJetDatabase(entry.path(), engine::OpenMode::ReadOnly, engine::TextLocale::English());
    } catch (const engine::Error&) {
      continue;
    }
    for (const engine::TableInfo& table : database->TableDefs()) {
      SCOPED_TRACE(entry.path().filename().string() + " " + engine::ToUtf8(table.name));
      try {
        compared += testsupport::CompareWholeAndFieldReads(*database->OpenRecordset(table.name));
      } catch (const engine::Error&) {
        // a table whose definition does not read: nothing to compare
      }
    }
  }
  EXPECT_GT(compared, 10000);
}

}  // namespace
