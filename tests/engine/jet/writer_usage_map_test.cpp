// Usage maps as the writer changes them: inline windows, promotion to reference maps, the
// global map's inverted meaning and its sliding window, page allocation.
#include <gtest/gtest.h>

#include "engine/jet/page/usage_map_writer.h"
#include "tests/support/test_page_store.h"

using engine::jet::PageAllocator;
using engine::jet::RowPointer;
using engine::jet::UsageMapEditor;
using testsupport::AddMapRow;
using testsupport::InlineMap;
using testsupport::TestPageStore;

TEST(WriterUsageMap, InlineAddRemoveAndEnumerate) {
  TestPageStore store(8);
  const RowPointer where = AddMapRow(store, 3, InlineMap(0));
  UsageMapEditor map(store, where);
  map.Add(5);
  map.Add(100);
  map.Add(7);
  map.Add(5);
  EXPECT_EQ(map.Pages(), (std::vector<uint32_t>{5, 7, 100}));
  EXPECT_TRUE(map.Contains(7));
  EXPECT_FALSE(map.Contains(6));
  EXPECT_EQ(map.HighestBelow(UINT32_MAX), 100u);
  EXPECT_EQ(map.HighestBelow(100), 7u);
  map.Remove(7);
  map.Remove(300);  // not there: nothing happens
  EXPECT_EQ(map.Pages(), (std::vector<uint32_t>{5, 100}));
  EXPECT_FALSE(map.is_reference());
}

TEST(WriterUsageMap, InlineWindowMovesWhenEverythingStillFits) {
  TestPageStore store(8);
  const RowPointer where = AddMapRow(store, 3, InlineMap(0, 8));  // 64 pages
  UsageMapEditor map(store, where);
  map.Add(40);
  map.Add(90);  // outside 0..63, but 40..90 fits once the window starts at 40
  EXPECT_FALSE(map.is_reference());
  EXPECT_EQ(map.Pages(), (std::vector<uint32_t>{40, 90}));
}

TEST(WriterUsageMap, InlineMapIsPromotedWhenPagesSpreadTooFar) {
  TestPageStore store(8);
  const RowPointer where = AddMapRow(store, 3, InlineMap(0, 8));
  UsageMapEditor map(store, where, [&store] { return store.AppendPage(); });
  map.Add(2);
  map.Add(6);
  map.Add(40000);  // second bitmap page of a reference map
  EXPECT_TRUE(map.is_reference());
  EXPECT_EQ(map.Pages(), (std::vector<uint32_t>{2, 6, 40000}));
  // Two bitmap pages were created, each with the 0x05 page header.
  ASSERT_EQ(store.page_count(), 10u);
  EXPECT_EQ(store.ReadPage(8)[0], 0x05);
  EXPECT_EQ(store.ReadPage(9)[0], 0x05);
  map.Remove(6);
  EXPECT_EQ(map.HighestBelow(40000), 2u);
  map.Clear();
  EXPECT_TRUE(map.Pages().empty());
}

TEST(WriterUsageMap, GlobalMapBitMeansFreeAndItsWindowSlides) {
  TestPageStore store(2);
  std::vector<uint8_t> row = InlineMap(0, 4);  // 32 pages, all free past the end of the file
  for (size_t i = 5; i < row.size(); ++i) row[i] = 0xFF;
  row[5] = 0xFC;  // pages 0 and 1 used
  ASSERT_EQ(AddMapRow(store, 1, row).row, 0);
  PageAllocator allocator(store);
  for (int i = 0; i < 40; ++i) {
    const uint32_t page = allocator.Allocate();
    EXPECT_EQ(page, static_cast<uint32_t>(2 + i));
    UsageMapEditor global(store, engine::jet::kGlobalUsageMap);
    EXPECT_FALSE(global.Contains(page)) << "page " << page << " still marked free";
  }
  UsageMapEditor global(store, engine::jet::kGlobalUsageMap);
  // The window moved on; pages past the end of the file read as free, none inside it does.
  for (uint32_t page = 0; page < store.page_count(); ++page) EXPECT_FALSE(global.Contains(page)) << page;
  EXPECT_TRUE(global.Contains(store.page_count()));
  allocator.Release(store.page_count() - 1);
  EXPECT_TRUE(global.Contains(store.page_count() - 1));
}

TEST(WriterUsageMap, ReferenceGlobalMapCreatesBitmapPagesOnlyToRecordFreePages) {
  TestPageStore store(2);
  std::vector<uint8_t> row(1 + 4 * 17, 0);
  row[0] = 0x01;  // a reference map with no bitmap page yet: its pages count as used
  AddMapRow(store, 1, row);
  PageAllocator allocator(store);
  EXPECT_EQ(allocator.Allocate(), 2u);
  EXPECT_EQ(store.page_count(), 3u);  // nothing to record for a used page
  allocator.Release(2);
  // Releasing needs a bitmap page: made at the end, marked used itself, with the pages past
  // the end of the file free and the released page free.
  ASSERT_EQ(store.page_count(), 4u);
  EXPECT_EQ(store.ReadPage(3)[0], 0x05);
  UsageMapEditor global(store, engine::jet::kGlobalUsageMap);
  EXPECT_TRUE(global.Contains(2));
  EXPECT_FALSE(global.Contains(3));
  EXPECT_FALSE(global.Contains(1));
  EXPECT_TRUE(global.Contains(10));
  EXPECT_EQ(allocator.Allocate(), 4u);
  EXPECT_FALSE(global.Contains(4));
}
