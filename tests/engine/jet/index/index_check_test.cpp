#include "engine/jet/index/index_check.h"

#include <algorithm>
#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "engine/jet/catalog/catalog.h"
#include "engine/jet/catalog/table_definition_reader.h"
#include "engine/jet/index/index_page.h"
#include "engine/jet/index/sort_key.h"
#include "engine/jet/row/text_codec.h"
#include "engine/jet/storage/pager.h"
#include "tests/engine/jet/index/index_fixture_catalog.h"
#include "tests/support/fixtures.h"
#include "tests/support/jet_check.h"
#include "tests/support/test_page_store.h"

namespace engine::jet {
namespace {

using testsupport::FixtureIndex;
using testsupport::TestPageStore;

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const auto& line : lines) all += line + "\n";
  return all;
}

bool Mentions(const IndexCheckResult& result, const std::string& text) {
  return std::any_of(result.problems.begin(), result.problems.end(),
                     [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

void RewritePage(TestPageStore& store, PageNumber page, const std::function<void(IndexPage&)>& change) {
  IndexPage decoded = DecodeIndexPage(store.ReadPage(page).data(), page, store.format());
  change(decoded);
  decoded.prefix_length = CommonKeyPrefix(decoded.entries);
  EncodeIndexPage(decoded, store.WritePage(page).data(), store.format());
}

TEST(IndexCheck, EveryFixtureIndexIsSound) {
  REQUIRE_FIXTURES();
  size_t indexes = 0, multi_level = 0;
  for (const char* folder : {"jet/V1997", "jet/V2000", "listini"}) {
    for (const auto& item : std::filesystem::directory_iterator(testsupport::FixturesDir() / folder)) {
      if (item.path().extension() != ".mdb") continue;
      TestPageStore store = TestPageStore::FromFile(item.path());
      for (const FixtureIndex& index : testsupport::FindFixtureIndexes(store)) {
        std::set<uint32_t> owned = testsupport::UsageMapPages(store, index.usage_map);
        IndexCheckResult result = CheckIndexTree(store, index.root_page, index.tdef_page,
                                                 [&](PageNumber page) { return owned.count(page.value()) > 0; });
        EXPECT_TRUE(result.ok()) << item.path().filename() << " root " << index.root_page << "\n"
                                 << Joined(result.problems);
        EXPECT_EQ(result.pages.size(), result.leaf_pages + result.node_pages);
        ++indexes;
        multi_level += result.levels > 1;
      }
    }
  }
  EXPECT_GT(indexes, 100u);
  // compIndexTest in both versions, eight of testIndexCodesV1997, fonte and the three of
  // listini-pieno.
  EXPECT_EQ(14u, multi_level);
}

// The checker makes every row's key in each index and compares the lot with the entries
// Access stored: on Access's own files the keys must come out byte for byte, in Access 97's
// order as in Access 2000's (testIndexCodesV1997 holds every character in text indexes).
// Every index there must be one whose keys the engine makes, or it would be left out.
TEST(IndexCheck, RowsOfAccessFilesKeyAsTheirIndexEntries) {
  REQUIRE_FIXTURES();
  size_t indexes = 0;
  for (const char* name :
       {"jet/V1997/testIndexCodesV1997.mdb", "jet/V1997/indexTestV1997.mdb", "jet/V1997/compIndexTestV1997.mdb",
        "jet/V1997/testV1997.mdb", "jet/V2000/indexTestV2000.mdb", "jet/V2000/compIndexTestV2000.mdb"}) {
    const std::filesystem::path file = testsupport::FixturesDir() / name;
    EXPECT_EQ(testsupport::CheckProblems(file), "") << name;
    auto pager = Pager::Open(file, OpenMode::ReadOnly);
    TextDecoder text(pager->format().version, pager->header().code_page, name);
    for (const CatalogEntry& entry : ReadCatalog(*pager, text)) {
      const TableDefinition table = ReadTableDefinition(*pager, text, entry.tdef_page, entry.name);
      for (const RealIndex& index : table.real_indexes) {
        EXPECT_TRUE(IndexSortOrdersKnown(table, index)) << name << " " << ToUtf8(entry.name);
        ++indexes;
      }
    }
  }
  EXPECT_GT(indexes, 100u);
}

// The reader's catalogue (MSysObjects rows and parsed TDEFs) and the raw page scan used by the
// index tests must name the same indexes, and each must pass through the pager as well.
TEST(IndexCheck, ReaderCatalogueIndexesAreAmongThePageScanAndSound) {
  REQUIRE_FIXTURES();
  size_t compared = 0;
  for (const char* name : {"listini/listini-pieno.mdb", "listini/fonte.mdb", "jet/V2000/testV2000.mdb",
                           "jet/V2000/compIndexTestV2000.mdb", "jet/V2000/testIndexPropertiesV2000.mdb"}) {
    auto pager = Pager::Open(testsupport::FixturesDir() / name, OpenMode::ReadOnly);
    TextDecoder text(pager->format().version, pager->header().code_page, name);
    std::set<std::pair<PageNumber, PageNumber>> scanned;
    for (const FixtureIndex& index : testsupport::FindFixtureIndexes(*pager)) {
      scanned.insert({index.tdef_page, index.root_page});
    }
    for (const CatalogEntry& entry : ReadCatalog(*pager, text)) {
      TableDefinition table = ReadTableDefinition(*pager, text, entry.tdef_page, entry.name);
      for (const RealIndex& index : table.real_indexes) {
        EXPECT_TRUE(scanned.count({table.tdef_page, index.root_page})) << name << " root " << index.root_page;
        std::set<uint32_t> owned = testsupport::UsageMapPages(*pager, index.usage_map);
        IndexCheckResult result = CheckIndexTree(*pager, index.root_page, table.tdef_page,
                                                 [&](PageNumber page) { return owned.count(page.value()) > 0; });
        EXPECT_TRUE(result.ok()) << name << "\n" << Joined(result.problems);
        ++compared;
      }
    }
  }
  EXPECT_GT(compared, 15u);
}

class IndexCheckCorruption : public ::testing::Test {
 protected:
  void SetUp() override {
    if (testsupport::FixturesDir().empty()) GTEST_SKIP() << "shared fixtures folder not found";
    store_ = TestPageStore::FromFile(testsupport::Listini("listini-pieno.mdb"));
    for (const FixtureIndex& index : testsupport::FindFixtureIndexes(store_)) {
      IndexCheckResult result = CheckIndexTree(store_, index.root_page, index.tdef_page);
      if (result.levels == 2 && (index.flags & 0x01)) {
        index_ = index;
        baseline_ = result;
      }
    }
    ASSERT_NE(kNoPage, index_.root_page) << "primary key of Articoli not found";
    ASSERT_TRUE(baseline_.ok()) << Joined(baseline_.problems);
    ASSERT_EQ(5000u, baseline_.entries);
    root_ = DecodeIndexPage(store_.ReadPage(index_.root_page).data(), index_.root_page, store_.format());
    ASSERT_FALSE(root_.leaf);
    ASSERT_NE(kNoPage, root_.tail);
    ASSERT_GE(root_.entries.size(), 2u);
  }

  IndexCheckResult Check() { return CheckIndexTree(store_, index_.root_page, index_.tdef_page); }

  TestPageStore store_;
  FixtureIndex index_;
  IndexCheckResult baseline_;
  IndexPage root_;
};

TEST_F(IndexCheckCorruption, EntriesOutOfOrderInsideALeaf) {
  RewritePage(store_, root_.entries[1].child, [](IndexPage& p) { std::swap(p.entries[3], p.entries[4]); });
  EXPECT_TRUE(Mentions(Check(), "entry 4 is not above the one before it"));
}

TEST_F(IndexCheckCorruption, LeavesOverlapping) {
  // The first leaf's last entry copied to the front of the second leaf breaks the chain order.
  IndexPage first =
      DecodeIndexPage(store_.ReadPage(root_.entries[0].child).data(), root_.entries[0].child, store_.format());
  RewritePage(store_, root_.entries[1].child,
              [&](IndexPage& p) { p.entries.insert(p.entries.begin(), first.entries.back()); });
  EXPECT_TRUE(Mentions(Check(), "is not above the last entry of the leaf before"));
}

TEST_F(IndexCheckCorruption, NodeEntryNotTheChildsLastEntry) {
  RewritePage(store_, index_.root_page, [](IndexPage& p) { p.entries[0].row.row ^= 1; });
  EXPECT_TRUE(Mentions(Check(), "entry 0 differs from the last entry of child page"));
}

TEST_F(IndexCheckCorruption, BrokenLeafChain) {
  RewritePage(store_, root_.entries[0].child, [](IndexPage& p) { p.next = kNoPage; });
  IndexCheckResult result = Check();
  EXPECT_TRUE(Mentions(result, "next-leaf link is 0, expected " + to_string(root_.entries[1].child)));
}

TEST_F(IndexCheckCorruption, PageOfAnotherTable) {
  RewritePage(store_, root_.tail, [](IndexPage& p) { p.owner = PageNumber(p.owner.value() + 1); });
  EXPECT_TRUE(Mentions(Check(), "belongs to table page " + std::to_string(index_.tdef_page.value() + 1)));
}

TEST_F(IndexCheckCorruption, TailAsOnlyChildAndLeafWithTail) {
  RewritePage(store_, index_.root_page, [](IndexPage& p) { p.entries.clear(); });
  RewritePage(store_, root_.tail, [](IndexPage& p) { p.tail = PageNumber(99); });
  IndexCheckResult result = Check();
  EXPECT_TRUE(Mentions(result, "node whose only child is its tail"));
  // EncodeIndexPage never writes a tail on a leaf, so set the bytes by hand.
  store_.WritePage(root_.tail).data()[store_.format().index_tail] = 99;
  EXPECT_TRUE(Mentions(Check(), "leaf with a child-tail pointer"));
}

TEST_F(IndexCheckCorruption, FreeSpaceFieldDisagreesWithBitmap) {
  store_.WritePage(root_.tail).data()[kIndexFreeSpaceOffset] ^= 0x10;
  EXPECT_TRUE(Mentions(Check(), "free-space"));
}

TEST_F(IndexCheckCorruption, LoopsAndPagesOutsideTheFile) {
  RewritePage(store_, index_.root_page, [&](IndexPage& p) {
    p.entries[0].child = index_.root_page;
    p.entries[1].child = PageNumber(0xFFFFFF);
  });
  IndexCheckResult result = Check();
  EXPECT_TRUE(Mentions(result, "reached twice from the root"));
  EXPECT_TRUE(Mentions(result, "points at page 16777215, outside the file"));
}

TEST_F(IndexCheckCorruption, PageMissingFromTheUsageMap) {
  IndexCheckResult result =
      CheckIndexTree(store_, index_.root_page, index_.tdef_page, [&](PageNumber page) { return page != root_.tail; });
  ASSERT_EQ(1u, result.problems.size());
  EXPECT_TRUE(Mentions(result, "page " + to_string(root_.tail) + ": not in the index's usage map"));
}

}  // namespace
}  // namespace engine::jet
