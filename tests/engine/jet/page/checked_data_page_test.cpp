// The data page the writer uses: checked whole when it is made, its room taken from the slots.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "engine/jet/page/data_page.h"
#include "tests/support/test_page_store.h"

namespace {

using namespace engine::jet;
using engine::GetU16;
using engine::PutU16;

constexpr uint32_t kOwner = 7;
const PageNumber kPage(2);

// A page of three rows (100, 0 and 10 bytes), then the change under test.
CheckedDataPage MakeAndCheck(testsupport::TestPageStore& store, const std::function<void(uint8_t*)>& change) {
  uint8_t* page = store.WritePage(kPage).data();
  InitDataPage(page, store.page_size(), kOwner);
  AppendRowToPage(page, store.page_size(), std::string(100, 'a'));
  AppendRowToPage(page, store.page_size(), "");
  AppendRowToPage(page, store.page_size(), std::string(10, 'b'));
  change(page);
  return CheckedDataPage::Check(store, kPage, kOwner);
}

uint8_t* Slot(uint8_t* page, int i) { return page + kJet4Format.data_header_size + 2 * i; }

TEST(CheckedDataPage, RefusesEveryUnsoundSlotTable) {
  const struct {
    const char* damage;
    std::function<void(uint8_t*)> change;
  } cases[] = {
      {"not a data page", [](uint8_t* p) { p[0] = kPageIndexLeaf; }},
      {"another owner", [](uint8_t* p) { PutU16(p + kDataPageOwner, kOwner + 1); }},
      {"more slots than a page lists", [](uint8_t* p) { PutU16(p + kJet4Format.data_slot_count, 256); }},
      {"a slot table past the page", [](uint8_t* p) { PutU16(p + kJet4Format.data_slot_count, 2100); }},
      {"a row starting inside the slot table", [](uint8_t* p) { PutU16(Slot(p, 2), 16); }},
      {"a row starting past the page", [](uint8_t* p) { PutU16(Slot(p, 0), 4097); }},
      {"a row above the one before it", [](uint8_t* p) { PutU16(Slot(p, 2), 4000); }},
      {"overlapping rows, flags kept", [](uint8_t* p) { PutU16(Slot(p, 1), 4000 | kSlotDeleted); }},
      {"a free-space field the rows do not leave", [](uint8_t* p) { PutU16(p + kDataPageFreeSpace, 0xFFFF); }},
      {"a row stretched down to the slot table, the field left as it was",
       [](uint8_t* p) { PutU16(Slot(p, 2), 20); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.damage);
    testsupport::TestPageStore store(4);
    try {
      MakeAndCheck(store, c.change);
      ADD_FAILURE() << "accepted";
    } catch (const engine::Error& error) {
      EXPECT_EQ(error.kind(), engine::ErrorKind::Damaged);
    }
  }
}

TEST(CheckedDataPage, RoomComesFromTheSlots) {
  testsupport::TestPageStore store(4);
  CheckedDataPage page = MakeAndCheck(store, [](uint8_t*) {});
  EXPECT_EQ(page.room(), 3986u - 20u);
  EXPECT_TRUE(page.HasRoom(3986 - 20 - 2));
  EXPECT_FALSE(page.HasRoom(3986 - 20 - 1));
  EXPECT_EQ(page.Append("xyz"), 3);
  const uint8_t* bytes = store.ReadPage(kPage).data();
  EXPECT_EQ(GetU16(bytes + kJet4Format.data_header_size + 2 * 3), 3983);
  EXPECT_EQ(GetU16(bytes + kDataPageFreeSpace), 3983 - (14 + 2 * 4)) << "the field is written afresh";
  EXPECT_NO_THROW(CheckedDataPage::Check(store, kPage, kOwner));
}

TEST(CheckedDataPage, EmptiedAndDeletedRowsStaySound) {
  testsupport::TestPageStore store(4);
  CheckedDataPage page = MakeAndCheck(store, [](uint8_t*) {});
  page.DeleteRow(1);
  EXPECT_EQ(CheckedDataPage::Check(store, kPage, kOwner).slot(1).flags, kSlotDeleted | kSlotOverflow);
  page.Empty();
  const CheckedDataPage emptied = CheckedDataPage::Check(store, kPage, kOwner);
  EXPECT_EQ(emptied.slot_count(), 1);
  EXPECT_EQ(emptied.room(), 4096u - 14u - 2u);
}

}  // namespace
