// Usage maps as the writer changes them: inline windows, promotion to reference maps, the
// global map's inverted meaning and its sliding window, page allocation.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "engine/base/error.h"
#include "engine/jet/page/usage_map.h"
#include "engine/jet/page/usage_map_writer.h"
#include "tests/support/test_page_store.h"

using engine::jet::PageAllocator;
using engine::jet::PageNumber;
using engine::jet::ReadUsageMap;
using engine::jet::RowId;
using engine::jet::UsageMapEditor;
using testsupport::AddMapRow;
using testsupport::InlineMap;
using testsupport::Pages;
using testsupport::TestPageStore;

TEST(WriterUsageMap, InlineAddRemoveAndEnumerate) {
  TestPageStore store(8);
  const RowId where = AddMapRow(store, 3, InlineMap(0));
  UsageMapEditor map(store, where);
  map.Add(PageNumber(5));
  map.Add(PageNumber(100));
  map.Add(PageNumber(7));
  map.Add(PageNumber(5));
  EXPECT_EQ(map.Pages(), Pages({5, 7, 100}));
  EXPECT_TRUE(map.Contains(PageNumber(7)));
  EXPECT_FALSE(map.Contains(PageNumber(6)));
  EXPECT_EQ(map.Highest(), PageNumber(100));
  EXPECT_EQ(map.HighestBelow(PageNumber(100)), PageNumber(7));
  map.Remove(PageNumber(7));
  map.Remove(PageNumber(300));  // not there: nothing happens
  EXPECT_EQ(map.Pages(), Pages({5, 100}));
  EXPECT_FALSE(map.is_reference());
}

TEST(WriterUsageMap, InlineWindowMovesWhenEverythingStillFits) {
  TestPageStore store(8);
  const RowId where = AddMapRow(store, 3, InlineMap(0, 8));  // 64 pages
  UsageMapEditor map(store, where);
  map.Add(PageNumber(40));
  map.Add(PageNumber(90));  // outside 0..63, but 40..90 fits once the window starts at 40
  EXPECT_FALSE(map.is_reference());
  EXPECT_EQ(map.Pages(), Pages({40, 90}));
}

// In both page sizes: a bitmap page covers 32,736 pages in Jet 4 and 16,352 in Jet 3.
TEST(WriterUsageMap, InlineMapIsPromotedWhenPagesSpreadTooFar) {
  for (const engine::jet::JetFormat* format : {&engine::jet::kJet4Format, &engine::jet::kJet3Format}) {
    SCOPED_TRACE(format->page_size);
    TestPageStore store(8, *format);
    const RowId where = AddMapRow(store, 3, InlineMap(0, 8));
    UsageMapEditor map(store, where, [&store] { return store.AppendPage(); });
    map.Add(PageNumber(2));
    map.Add(PageNumber(6));
    map.Add(PageNumber(40000));  // the second bitmap page of a reference map, the third in Jet 3
    EXPECT_TRUE(map.is_reference());
    EXPECT_EQ(map.Pages(), Pages({2, 6, 40000}));
    // Two bitmap pages were created, each with the 0x05 page header.
    ASSERT_EQ(store.page_count(), 10u);
    EXPECT_EQ(store.ReadPage(PageNumber(8)).data()[0], 0x05);
    EXPECT_EQ(store.ReadPage(PageNumber(9)).data()[0], 0x05);
    map.Remove(PageNumber(6));
    EXPECT_EQ(map.HighestBelow(PageNumber(40000)), PageNumber(2));
    map.Clear();
    EXPECT_TRUE(map.Pages().empty());
  }
}

TEST(WriterUsageMap, GlobalMapBitMeansFreeAndItsWindowSlides) {
  TestPageStore store(2);
  std::vector<uint8_t> row = InlineMap(0, 4);  // 32 pages, all free past the end of the file
  for (size_t i = 5; i < row.size(); ++i) row[i] = 0xFF;
  row[5] = 0xFC;  // pages 0 and 1 used
  ASSERT_EQ(AddMapRow(store, 1, row).row, 0);
  PageAllocator allocator(store);
  for (int i = 0; i < 40; ++i) {
    const PageNumber page = allocator.Allocate();
    EXPECT_EQ(page, PageNumber(static_cast<uint32_t>(2 + i)));
    UsageMapEditor global(store, engine::jet::kGlobalUsageMap);
    EXPECT_FALSE(global.Contains(page)) << "page " << page << " still marked free";
  }
  UsageMapEditor global(store, engine::jet::kGlobalUsageMap);
  // The window moved on; pages past the end of the file read as free, none inside it does.
  for (uint32_t page = 0; page < store.page_count(); ++page) EXPECT_FALSE(global.Contains(PageNumber(page))) << page;
  EXPECT_TRUE(global.Contains(PageNumber(store.page_count())));
  allocator.Release(PageNumber(store.page_count() - 1));
  EXPECT_TRUE(global.Contains(PageNumber(store.page_count() - 1)));
}

TEST(WriterUsageMap, ReferenceGlobalMapCreatesBitmapPagesOnlyToRecordFreePages) {
  TestPageStore store(2);
  std::vector<uint8_t> row(1 + 4 * 17, 0);
  row[0] = 0x01;  // a reference map with no bitmap page yet: its pages count as used
  AddMapRow(store, 1, row);
  PageAllocator allocator(store);
  EXPECT_EQ(allocator.Allocate(), PageNumber(2));
  EXPECT_EQ(store.page_count(), 3u);  // nothing to record for a used page
  allocator.Release(PageNumber(2));
  // Releasing needs a bitmap page: made at the end, marked used itself, with the pages past
  // the end of the file free and the released page free.
  ASSERT_EQ(store.page_count(), 4u);
  EXPECT_EQ(store.ReadPage(PageNumber(3)).data()[0], 0x05);
  UsageMapEditor global(store, engine::jet::kGlobalUsageMap);
  EXPECT_TRUE(global.Contains(PageNumber(2)));
  EXPECT_FALSE(global.Contains(PageNumber(3)));
  EXPECT_FALSE(global.Contains(PageNumber(1)));
  EXPECT_TRUE(global.Contains(PageNumber(10)));
  EXPECT_EQ(allocator.Allocate(), PageNumber(4));
  EXPECT_FALSE(global.Contains(PageNumber(4)));
}

// The table reader and the editor read a map through the same code: both kinds give the
// same pages to each, and both refuse the same damaged maps.
TEST(WriterUsageMap, EditorReadsAgreeWithTheReader) {
  constexpr uint32_t kPages = 40, kMapPage = 3, kBitmapPage = 7;
  struct Case {
    const char* name;
    uint8_t kind;
    size_t row_size;
    uint8_t bitmap_page_type;  // reference maps: the type byte of the page slot 0 names
    std::vector<uint32_t> pages;  // empty: the map is damaged
  };
  const Case cases[] = {
      {"inline", 0x00, 5 + 8, 0, {16, 17, 30, 39}},
      {"reference", 0x01, 1 + 4 * 2, 0x05, {2, 5, 33, 39}},
      {"unknown kind", 0x02, 5 + 8, 0, {}},
      {"bitmap page of another type", 0x01, 1 + 4 * 2, 0x01, {}},
      {"inline row cut short", 0x00, 3, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestPageStore store(kPages);
    std::vector<uint8_t> row = c.kind == 0x01 ? std::vector<uint8_t>(c.row_size, 0) : InlineMap(16, 8);
    row.resize(c.row_size);
    row[0] = c.kind;
    uint8_t* bits = row.data() + 5;
    uint32_t first = 16;
    if (c.kind == 0x01) {
      row[1] = kBitmapPage;  // slot 0; slot 1 has no bitmap page yet
      uint8_t* bitmap = store.WritePage(PageNumber(kBitmapPage)).data();
      bitmap[0] = c.bitmap_page_type;
      bitmap[1] = 0x01;
      bits = bitmap + 4;
      first = 0;
    }
    for (uint32_t page : c.pages) bits[(page - first) / 8] |= static_cast<uint8_t>(1u << ((page - first) % 8));
    const RowId where = AddMapRow(store, kMapPage, row);
    UsageMapEditor editor(store, where);
    if (c.pages.empty()) {
      const std::vector<std::function<void()>> reads = {[&] { ReadUsageMap(store, where); }, [&] { editor.Pages(); },
                                                        [&] { editor.Contains(PageNumber(2)); },
                                                        [&] { editor.HighestBelow(PageNumber(kPages)); }};
      for (const auto& read : reads) {
        try {
          read();
          ADD_FAILURE() << "a damaged map was read";
        } catch (const engine::Error& error) {
          EXPECT_EQ(error.kind(), engine::ErrorKind::Damaged) << error.what();
        }
      }
      continue;
    }
    std::vector<PageNumber> expected;
    for (uint32_t page : c.pages) expected.push_back(PageNumber(page));
    EXPECT_EQ(ReadUsageMap(store, where), expected);
    EXPECT_EQ(editor.Pages(), expected);
    PageNumber highest;
    for (uint32_t number = 0; number <= kPages; ++number) {
      const PageNumber page(number);
      EXPECT_EQ(editor.HighestBelow(page), highest) << number;
      const bool listed = std::find(expected.begin(), expected.end(), page) != expected.end();
      EXPECT_EQ(editor.Contains(page), listed) << number;
      if (listed) highest = page;
    }
  }
}
