// The integrity check finds what a faulty writer would leave: each case damages a sound copy
// of the full price list in one way and expects the matching complaint.
#include <gtest/gtest.h>

#include <fstream>

#include "engine/jet/catalog/catalog.h"
#include "engine/jet/catalog/table_definition_reader.h"
#include "engine/jet/table/table_writer.h"
#include "engine/jet/row/text_codec.h"
#include "engine/jet/page/usage_map.h"
#include "engine/jet/page/usage_map_writer.h"
#include "tests/engine/jet/jet_test_util.h"
#include "tests/support/jet_check.h"

namespace fs = std::filesystem;
using engine::Value;
using namespace engine::jet;

namespace {

class CheckerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (testsupport::FixturesDir().empty()) GTEST_SKIP() << "shared fixtures folder not found";
    file_ = dir_.Copy(testsupport::Listini("listini-pieno.mdb"));
    ASSERT_EQ(testsupport::CheckProblems(file_), "") << "the fixture itself must be sound";
    pager_ = Pager::Open(file_, engine::OpenMode::ReadWrite);
    TextDecoder text(pager_->format().version, pager_->header().code_page, pager_->file_name());
    for (const CatalogEntry& entry : ReadCatalog(*pager_, text)) {
      if (entry.name == u"Articoli") table_ = ReadTableDefinition(*pager_, text, entry.tdef_page, entry.name);
    }
    ASSERT_FALSE(table_.columns.empty());
  }

  // Saves the damage and runs the check on the file.
  std::string Check() {
    pager_->Commit();
    pager_.reset();
    return testsupport::CheckProblems(file_);
  }

  engine::jet::PageNumber FirstDataPage() { return ReadUsageMap(*pager_, table_.owned_pages).front(); }

  std::vector<Value> Article(const char16_t* code) {
    std::vector<Value> values(table_.columns.size());
    values[1] = Value::Text(code);
    values[6] = Value::Text(u"Vini");
    return values;
  }

  testsupport::TempDir dir_;
  fs::path file_;
  std::unique_ptr<Pager> pager_;
  TableDefinition table_;
};

bool Has(const std::string& problems, const std::string& part) { return problems.find(part) != std::string::npos; }

}  // namespace

TEST_F(CheckerTest, RowCountThatDisagreesWithTheRows) {
  uint8_t* tdef = pager_->WritePage(table_.tdef_page).data();
  tdef[16] += 1;
  const std::string problems = Check();
  EXPECT_TRUE(Has(problems, "counts 5001 rows, the pages hold 5000")) << problems;
}

TEST_F(CheckerTest, RowStoredWithoutItsIndexEntry) {
  TableDefinition forgetful = table_;
  // A writer that does not know the "Categoria" index.
  for (size_t i = 0; i < forgetful.real_indexes.size(); ++i) {
    const int position = forgetful.PositionOfNumber(forgetful.real_indexes[i].columns[0].column_number);
    if (forgetful.columns[position].name == u"Categoria") {
      forgetful.real_indexes.erase(forgetful.real_indexes.begin() + static_cast<long>(i));
      break;
    }
  }
  ASSERT_EQ(forgetful.real_indexes.size(), table_.real_indexes.size() - 1);
  TableWriter writer(*pager_, forgetful, engine::TextLocale::Italian(), file_.string());
  const RowId row = writer.AddRow(Article(u"SENZA-INDICE"));
  writer.Flush();
  const std::string problems = Check();
  EXPECT_TRUE(Has(problems, "row " + engine::jet::to_string(row.page) + ":" + std::to_string(row.row) + " is missing"))
      << problems;
}

TEST_F(CheckerTest, IndexEntryForADeletedRow) {
  TableWriter writer(*pager_, table_, engine::TextLocale::Italian(), file_.string());
  const RowId row = writer.AddRow(Article(u"POI-CANCELLATO"));
  writer.Flush();
  uint8_t* page = pager_->WritePage(row.page).data();
  page[15 + 2 * row.row] |= 0xC0;  // deleted behind the indexes' back
  uint8_t* tdef = pager_->WritePage(table_.tdef_page).data();
  tdef[16] -= 1;
  const std::string problems = Check();
  EXPECT_TRUE(Has(problems, "matches no row")) << problems;
}

TEST_F(CheckerTest, FreeSpaceFieldOutOfStep) {
  const engine::jet::PageNumber data_page = FirstDataPage();
  pager_->WritePage(data_page).data()[2] ^= 0x04;
  const std::string problems = Check();
  EXPECT_TRUE(Has(problems, "data page " + engine::jet::to_string(data_page) + ": free space field")) << problems;
}

TEST_F(CheckerTest, OwnedPageMarkedFreeInTheGlobalMap) {
  const engine::jet::PageNumber data_page = FirstDataPage();
  PageAllocator(*pager_).Release(data_page);
  const std::string problems = Check();
  EXPECT_TRUE(Has(problems, "page " + engine::jet::to_string(data_page) + " of table \"Articoli\" is marked free"))
      << problems;
}

TEST_F(CheckerTest, PageClaimedByTwoOwners) {
  const engine::jet::PageNumber data_page = FirstDataPage();
  // The index's usage map also lists a data page of the table.
  UsageMapEditor(*pager_, table_.real_indexes[0].usage_map).Add(data_page);
  UsageMapEditor(*pager_, table_.real_indexes[1].usage_map).Add(table_.real_indexes[0].root_page);
  const std::string problems = Check();
  EXPECT_TRUE(Has(problems, "page " + engine::jet::to_string(table_.real_indexes[0].root_page) + " belongs both to"))
      << problems;
}

TEST_F(CheckerTest, FileCutInTheMiddleOfAPage) {
  pager_.reset();
  std::ofstream(file_, std::ios::app | std::ios::binary) << std::string(100, 'x');
  EXPECT_TRUE(Has(testsupport::CheckProblems(file_), "not a whole number of pages"));
}

TEST_F(CheckerTest, IndexEntriesThatNoLongerMatchTheirRows) {
  TableWriter writer(*pager_, table_, engine::TextLocale::Italian(), file_.string());
  const RowId row = writer.AddRow(Article(u"CODICE-PRIMA"));
  writer.Flush();
  // The stored code changes behind the indexes' back: as many entries as rows, one key wrong.
  uint8_t* page = pager_->WritePage(row.page).data();
  const std::string_view old_code = "CODICE-PRIMA";
  std::string_view bytes(reinterpret_cast<const char*>(page), pager_->page_size());
  const size_t at = bytes.find(old_code);
  ASSERT_NE(at, std::string_view::npos) << "the code is stored compressed";
  page[at + old_code.size() - 1] = 'O';
  const std::string problems = Check();
  const std::string name = engine::jet::to_string(row.page) + ":" + std::to_string(row.row);
  EXPECT_TRUE(Has(problems, "row " + name + " is missing")) << problems;
  EXPECT_TRUE(Has(problems, "entry for row " + name)) << problems;
}

TEST_F(CheckerTest, KeyTwiceInAUniqueIndex) {
  TableDefinition lenient = table_;
  // A writer that takes the unique indexes (the article id's) for ones that allow repeats.
  int id = -1;
  for (RealIndex& index : lenient.real_indexes) {
    if (!index.unique()) continue;
    index.flags = static_cast<uint8_t>(index.flags & ~kIndexUnique);
    id = lenient.PositionOfNumber(index.columns[0].column_number);
  }
  ASSERT_GE(id, 0);
  ASSERT_TRUE(lenient.columns[static_cast<size_t>(id)].is_autonumber());
  TableWriter writer(*pager_, lenient, engine::TextLocale::Italian(), file_.string());
  for (const char16_t* code : {u"PRIMO", u"SECONDO"}) {
    std::vector<Value> values = Article(code);
    values[static_cast<size_t>(id)] = Value::Integer(999999);
    writer.AddRow(values);
  }
  writer.Flush();
  const std::string problems = Check();
  EXPECT_TRUE(Has(problems, "the unique index holds key")) << problems;
}
