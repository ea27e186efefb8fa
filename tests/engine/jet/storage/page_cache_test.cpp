// The pager's cache: a page handle keeps its page readable through eviction, commit and
// rollback (the sanitizers see any use after free), a page read again after a rollback has its
// committed content, and what the cache keeps stays within its bound however much is read.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/jet/page/data_page.h"
#include "engine/jet/storage/pager.h"
#include "tests/support/files.h"
#include "tests/support/fixtures.h"

namespace {

using engine::jet::PageNumber;
using engine::jet::PageRef;
using engine::jet::Pager;

// Opens a copy of the full price list with a cache that keeps `clean_pages` unused pages.
std::unique_ptr<Pager> OpenWithCache(const testsupport::TempDir& dir, const char* clean_pages) {
  const char* setting = std::getenv("ARCHIVI_PAGE_CACHE_PAGES");
  const std::string suite_setting = setting ? setting : "";
  setenv("ARCHIVI_PAGE_CACHE_PAGES", clean_pages, 1);
  auto pager = Pager::Open(dir.Copy(testsupport::Fixture("listini/listini-pieno.mdb")), engine::OpenMode::ReadWrite);
  if (setting) {
    setenv("ARCHIVI_PAGE_CACHE_PAGES", suite_setting.c_str(), 1);
  } else {
    unsetenv("ARCHIVI_PAGE_CACHE_PAGES");
  }
  return pager;
}

// Reads every page once, dropping each handle at once.
void ReadEveryPage(Pager& pager) {
  for (uint32_t page = 1; page < pager.page_count(); ++page) pager.ReadPage(PageNumber(page));
}

TEST(PageCache, AHandleOutlivesWhatHappensToTheCache) {
  struct Case {
    const char* name;
    // Changes the file through `pager` after `held` was taken; returns the byte the held page
    // must show, and the byte a fresh read must show.
    std::function<std::pair<uint8_t, uint8_t>(Pager& pager, PageNumber held)> happen;
  };
  const PageNumber kChanged(3);
  const Case cases[] = {
      {"every other page read and evicted",
       [](Pager& pager, PageNumber held) {
         const uint8_t first = pager.ReadPage(held).data()[100];
         ReadEveryPage(pager);
         return std::pair{first, first};
       }},
      {"a change committed",
       [](Pager& pager, PageNumber held) {
         const uint8_t changed = static_cast<uint8_t>(pager.ReadPage(held).data()[100] ^ 0xFF);
         pager.WritePage(held).data()[100] = changed;
         pager.Commit();
         ReadEveryPage(pager);
         return std::pair{changed, changed};
       }},
      {"a change rolled back",
       [](Pager& pager, PageNumber held) {
         const uint8_t committed = pager.ReadPage(held).data()[100];
         pager.WritePage(held).data()[100] = static_cast<uint8_t>(committed ^ 0xFF);
         pager.Rollback();
         ReadEveryPage(pager);
         return std::pair{committed, committed};
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::TempDir dir;
    auto pager = OpenWithCache(dir, "0");
    const PageRef held = pager->ReadPage(kChanged);
    const auto [held_byte, fresh_byte] = c.happen(*pager, kChanged);
    EXPECT_EQ(held.data()[100], held_byte);
    EXPECT_EQ(pager->ReadPage(kChanged).data()[100], fresh_byte);
  }
}

TEST(PageCache, APageAppendedAndRolledBackStaysReadableThroughItsHandle) {
  testsupport::TempDir dir;
  auto pager = OpenWithCache(dir, "0");
  const uint32_t pages_before = pager->page_count();
  const PageNumber added = pager->AppendPage();
  PageRef held = pager->WritePage(added);
  pager->WritePage(added).data()[7] = 42;
  pager->Rollback();
  EXPECT_EQ(pager->page_count(), pages_before);
  EXPECT_EQ(held.data()[7], 42);  // stale, but the bytes are still there
  EXPECT_THROW(pager->ReadPage(added), engine::Error);
  held = PageRef();
  ReadEveryPage(*pager);
}

TEST(PageCache, ARowReadAgainAfterARollbackComesFromTheNewPageNotTheOldHandle) {
  testsupport::TempDir dir;
  auto pager = OpenWithCache(dir, "0");
  const auto add_page_with_row = [&](std::string_view row) {
    const PageNumber page = pager->AppendPage();
    uint8_t* bytes = pager->WritePage(page).data();
    engine::jet::InitDataPage(bytes, pager->page_size(), 0);
    engine::jet::AppendRowToPage(bytes, pager->page_size(), row);
    return engine::jet::RowId{page, 0};
  };
  const engine::jet::RowId old_row = add_page_with_row("old row");
  const engine::jet::RowSlot near = engine::jet::ReadLiveRow(*pager, old_row);
  pager->Rollback();
  const engine::jet::RowId new_row = add_page_with_row("new row");
  ASSERT_EQ(new_row.page, old_row.page);
  const engine::jet::RowSlot again = engine::jet::ReadLiveRow(*pager, new_row, &near);
  EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(again.data), again.size), "new row");
  EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(near.data), near.size), "old row");
}

TEST(PageCache, MemoryStaysWithinTheBoundWhateverIsRead) {
  testsupport::TempDir dir;
  auto pager = OpenWithCache(dir, "8");
  ASSERT_GT(pager->page_count(), 40u);
  std::vector<PageRef> held;
  for (uint32_t page = 1; page < 5; ++page) held.push_back(pager->ReadPage(PageNumber(page)));
  pager->WritePage(PageNumber(10)).data()[50] ^= 1;  // a change: kept until the commit
  ReadEveryPage(*pager);
  EXPECT_LE(pager->pages_in_memory(), 8u + held.size() + 1);
  pager->Commit();
  held.clear();
  EXPECT_LE(pager->pages_in_memory(), 8u);
}

TEST(PageCache, OnlyAWholeNumberOfPagesIsTakenFromTheSetting) {
  const struct {
    const char* setting;
    std::optional<size_t> pages;
  } cases[] = {
      {"0", 0},
      {"2048", 2048},
      {"16777215", engine::jet::kMostPagesKept},
      {"-1", std::nullopt},  // once read as the largest number, keeping every page
      {"16777216", std::nullopt},
      {"+8", std::nullopt},
      {" 8", std::nullopt},
      {"8 pagine", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(engine::jet::ParsePagesKept(c.setting), c.pages) << c.setting;
}

}  // namespace
