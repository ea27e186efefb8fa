// WHERE lookups below the record set: the index path and the scan path must agree row for
// row, and the index must be used when the column has one.
#include <gtest/gtest.h>

#include "engine/jet/catalog/catalog.h"
#include "engine/jet/catalog/table_definition_reader.h"
#include "engine/jet/page/data_page.h"
#include "engine/jet/row/table_scan.h"
#include "engine/jet/storage/pager.h"
#include "engine/jet/table/equality_index.h"
#include "engine/jet/table/row_lookup.h"
#include "tests/engine/jet/jet_test_util.h"

namespace {

using namespace engine::jet;

class LookupPaths : public testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_FIXTURES();
    pager_ = Pager::Open(testsupport::Fixture("listini/listini-pieno.mdb"), engine::OpenMode::ReadOnly);
    text_ = std::make_unique<TextDecoder>(pager_->format().version, pager_->header().code_page, "x");
    for (const auto& entry : ReadCatalog(*pager_, *text_)) {
      if (entry.name == u"Articoli") table_ = ReadTableDefinition(*pager_, *text_, entry.tdef_page, entry.name);
    }
    ASSERT_EQ(table_.name, u"Articoli");
    unindexed_ = table_;
    unindexed_.real_indexes.clear();
  }
  std::unique_ptr<Pager> pager_;
  std::unique_ptr<TextDecoder> text_;
  TableDefinition table_, unindexed_;
  engine::TextLocale locale_ = engine::TextLocale::Italian();
};

TEST_F(LookupPaths, IndexedColumnsUseTheIndexOthersScan) {
  RowLookup lookup(*pager_, table_, *text_, locale_);
  lookup.FindEqual(table_.PositionOfNumber(1), u"ART-000777");  // Codice Articolo
  EXPECT_TRUE(lookup.used_index());
  lookup.FindEqual(6, u"Vini");  // Categoria, indexed too
  EXPECT_TRUE(lookup.used_index());
  lookup.FindEqual(2, u"x");  // Descrizione: no index
  EXPECT_FALSE(lookup.used_index());
  lookup.FindEqual(0, u"17");  // the primary key is a number: compared as text, by scan
  EXPECT_FALSE(lookup.used_index());
}

TEST_F(LookupPaths, IndexAndScanAgreeOnEveryKindOfCode) {
  RowLookup indexed(*pager_, table_, *text_, locale_);
  RowLookup scanned(*pager_, unindexed_, *text_, locale_);
  const int code = 1;
  std::vector<std::u16string> probes = {u"ART-000777", u"art-000777", u"ART-000780", u"ART-000780 ", u" ART-000779",
                                        u"L'ORO-12",   u"L''ORO-DOPPIO", u"caffè", u"CAFFÈ-250G", u"zuppa-ß",
                                        u"€-PROMO-01", u"ελληνικό-1", u"", u"   ", u"ART-000010", u"NESSUNO"};
  // And every 97th code of the table as stored.
  RowDecoder decoder(*pager_, table_, *text_);
  CrackedRow row;
  const auto rows = ListLiveRows(*pager_, table_);
  for (size_t i = 0; i < rows.size(); i += 97) {
    RowSlot slot = ReadLiveRow(*pager_, rows[i]);
    decoder.Crack(slot.data, slot.size, row);
    const auto value = decoder.Decode(row, code);
    if (!value.is_null()) probes.push_back(value.text());
  }
  size_t found = 0;
  for (const auto& probe : probes) {
    const auto a = indexed.FindEqual(code, probe);
    ASSERT_TRUE(indexed.used_index());
    const auto b = scanned.FindEqual(code, probe);
    ASSERT_FALSE(scanned.used_index());
    EXPECT_EQ(a, b) << engine::ToUtf8(probe);
    found += a.size();
  }
  EXPECT_GT(found, 50u);
}

// Every text column with an index of its own in Access's files, Access 97's among them: each
// stored value, and some awkward texts, are found through the index as a scan finds them.
// (compIndexTestV1997's index is on a number, which a WHERE on text never searches.)
TEST(LookupPathsInAccessFiles, IndexAndScanAgreeOnEveryStoredValue) {
  REQUIRE_FIXTURES();
  for (const char* name : {"jet/V1997/indexTestV1997.mdb", "jet/V1997/testIndexCodesV1997.mdb",
                           "jet/V2000/testIndexPropertiesV2000.mdb"}) {
    auto pager = Pager::Open(testsupport::Fixture(name), engine::OpenMode::ReadOnly);
    TextDecoder text(pager->format().version, pager->header().code_page, name);
    const engine::TextLocale locale = engine::TextLocale::Italian();
    size_t found = 0;
    for (const auto& entry : ReadCatalog(*pager, text)) {
      const TableDefinition table = ReadTableDefinition(*pager, text, entry.tdef_page, entry.name);
      TableDefinition unindexed = table;
      unindexed.real_indexes.clear();
      RowLookup indexed(*pager, table, text, locale), scanned(*pager, unindexed, text, locale);
      RowDecoder decoder(*pager, table, text);
      CrackedRow row;
      for (int column = 0; column < static_cast<int>(table.columns.size()); ++column) {
        if (!TextEqualityIndex(table, column)) continue;
        std::vector<std::u16string> probes = {u"", u"   ", u"a ", u"€", u"œ", u"ß", u"α", u"CAFÉ", u"\uFFFD"};
        for (RowId id : ListLiveRows(*pager, table)) {
          RowSlot slot = ReadLiveRow(*pager, id);
          decoder.Crack(slot.data, slot.size, row);
          if (const engine::Value value = decoder.Decode(row, column); !value.is_null()) probes.push_back(value.text());
        }
        for (const auto& probe : probes) {
          const auto rows = indexed.FindEqual(column, probe);
          ASSERT_TRUE(indexed.used_index());
          EXPECT_EQ(rows, scanned.FindEqual(column, probe)) << name << " " << engine::ToUtf8(probe);
          found += rows.size();
        }
      }
    }
    EXPECT_GT(found, 0u) << name;
  }
}

TEST(GeneralOrderEquality, CaseAndTrailingSpacesDoNotCount) {
  EXPECT_TRUE(SameTextInGeneralOrder(u"ART-1", u"art-1 "));
  EXPECT_TRUE(SameTextInGeneralOrder(u"", u"   "));
  EXPECT_TRUE(SameTextInGeneralOrder(u"Caffè", u"CAFFÈ"));
  EXPECT_FALSE(SameTextInGeneralOrder(u"ART-1", u" ART-1"));
  EXPECT_FALSE(SameTextInGeneralOrder(u"ART-1", u"ART-11"));
  EXPECT_FALSE(SameTextInGeneralOrder(u"CAFFE", u"CAFFÈ"));
}

}  // namespace
