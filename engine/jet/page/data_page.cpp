// Data page header and slot table: see data_page.h.
#include "engine/jet/page/data_page.h"

#include <cstring>
#include <string>

#include "engine/base/bytes.h"

namespace engine::jet {
namespace {

// An overflow row points to its new place, which is never itself moved again by Jet; a few hops
// are allowed for safety, more means a damaged file.
constexpr int kMaxOverflowHops = 4;

}  // namespace

RowId DecodeRowPointer(const uint8_t* bytes) { return RowId::FromPacked(GetU32(bytes)); }

void EncodeRowPointer(RowId row, uint8_t* out) { PutU32(out, row.packed()); }

uint16_t SlotCount(const PageStore& store, const uint8_t* page) {
  const DataPage data(page, store.format());
  if (!data.slot_table_fits()) store.Damaged("a data page lists more rows than it can hold");
  return data.slot_count();
}

namespace {

// The slot `row` of the page `held`, which is page `page_number`: see ReadRowSlot.
RowSlot SlotOnPage(PageStore& store, PageRef held, PageNumber page_number, uint32_t row) {
  const DataPage page(held.data(), store.format());
  if (!page.is_data_page()) {
    store.Damaged("page " + to_string(page_number) + " should hold rows but does not");
  }
  const uint16_t count = SlotCount(store, page.bytes());
  if (row >= count) {
    store.Damaged("row " + std::to_string(row) + " of page " + to_string(page_number) + " does not exist");
  }
  const SlotEntry slot = page.slot(static_cast<uint16_t>(row));
  if (!slot.fits(page.slot_table_end()) || slot.end > store.page_size()) {
    store.Damaged("row " + std::to_string(row) + " of page " + to_string(page_number) + " has impossible bounds");
  }
  RowSlot out;
  out.page = std::move(held);
  out.page_number = page_number;
  out.flags = slot.flags;
  out.data = page.bytes() + slot.start;
  out.size = slot.end - slot.start;
  return out;
}

}  // namespace

RowSlot ReadRowSlot(PageStore& store, PageNumber page_number, uint32_t row) {
  return SlotOnPage(store, store.ReadPage(page_number), page_number, row);
}

uint32_t LoadTableOwner(PageStore& store, PageNumber page) {
  return DataPage(store.ReadPage(page), store.format()).owner();
}

RowSlot ReadLiveRow(PageStore& store, RowId id, const RowSlot* near) {
  PageNumber page = id.page;
  uint32_t row = id.row;
  for (int hop = 0; hop <= kMaxOverflowHops; ++hop) {
    const bool on_near_page = near && near->page_number == page && near->page.current();
    RowSlot slot = on_near_page ? SlotOnPage(store, near->page, page, row) : ReadRowSlot(store, page, row);
    // Jet flags the new place of a moved row as deleted too, so that scans see it only once,
    // through the pointer; only the first slot must be live.
    if (hop == 0 && slot.deleted()) store.Damaged("a deleted row was asked for");
    if (!slot.overflow()) return slot;
    if (slot.size < kStoredRowPointerSize) store.Damaged("a moved row's pointer is cut short");
    const RowId moved_to = DecodeRowPointer(slot.data);
    page = moved_to.page;
    row = moved_to.row;
  }
  store.Damaged("moved rows point at each other in a loop");
}

std::optional<std::string> DataPage::SlotTableProblem() const {
  const uint16_t slots = slot_count();
  if (slots > kMaxRowsPerDataPage) {
    return std::to_string(slots) + " rows, more than " + std::to_string(kMaxRowsPerDataPage);
  }
  if (!slot_table_fits()) return "the slot table runs past the page";
  size_t lowest = format_->page_size;
  for (uint16_t i = 0; i < slots; ++i) {
    const SlotEntry entry = slot(i);
    if (entry.start > entry.end) return "row " + std::to_string(i) + " starts above the row before it";
    if (entry.start < slot_table_end()) return "row " + std::to_string(i) + " overlaps the slot table";
    lowest = entry.start;
  }
  if (free_space() != lowest - slot_table_end()) {
    return "free space field " + std::to_string(free_space()) + ", rows leave " +
           std::to_string(lowest - slot_table_end());
  }
  return std::nullopt;
}

CheckedDataPage CheckedDataPage::Check(PageStore& store, PageNumber page_number, uint32_t owner) {
  PageRef bytes = store.ReadPage(page_number);
  const DataPage page(bytes.data(), store.format());
  if (!page.owned_by(owner)) store.Damaged("page " + to_string(page_number) + " should hold rows of its table but does not");
  if (const std::optional<std::string> problem = page.SlotTableProblem()) {
    store.Damaged("data page " + to_string(page_number) + ": " + *problem);
  }
  const uint16_t slots = page.slot_count();
  const size_t lowest_start = slots == 0 ? store.page_size() : page.slot(static_cast<uint16_t>(slots - 1)).start;
  return CheckedDataPage(store, page_number, std::move(bytes), slots, lowest_start);
}

uint8_t* CheckedDataPage::Writable() {
  WritablePage page = store_->WritePage(page_);
  uint8_t* bytes = page.data();
  bytes_ = std::move(page);
  return bytes;
}

uint8_t CheckedDataPage::Append(std::string_view row) {
  const size_t start = lowest_start_ - row.size();
  const size_t room_left = room() - row.size() - 2;
  uint8_t* page = Writable();
  std::memcpy(page + start, row.data(), row.size());
  PutU16(page + format_->data_header_size + 2 * slot_count_, static_cast<uint16_t>(start));
  PutU16(page + format_->data_slot_count, static_cast<uint16_t>(slot_count_ + 1));
  PutU16(page + kDataPageFreeSpace, static_cast<uint16_t>(room_left));
  lowest_start_ = start;
  return static_cast<uint8_t>(slot_count_++);
}

void CheckedDataPage::Empty() {
  EmptyDataPage(Writable(), format_->page_size);
  slot_count_ = 1;
  lowest_start_ = format_->page_size;
}

void CheckedDataPage::DeleteRow(uint8_t slot) { DeleteRowOnPage(Writable(), format_->page_size, slot); }

void InitDataPage(uint8_t* page, size_t page_size, uint32_t owner) {
  StartPage(page, page_size, kPageData);
  PutU16(page + kDataPageFreeSpace, static_cast<uint16_t>(page_size - FormatOfPageSize(page_size).data_header_size));
  PutU32(page + kDataPageOwner, owner);
}

namespace {

// The room on a page the engine is making: from its slots, as CheckedDataPage does.
size_t RoomOnNewPage(const DataPage& data, size_t page_size) {
  const uint16_t slots = data.slot_count();
  const size_t top = slots == 0 ? page_size : data.slot(static_cast<uint16_t>(slots - 1)).start;
  return top - data.slot_table_end();
}

}  // namespace

bool DataPageHasRoom(const uint8_t* page, size_t row_length, size_t page_size) {
  const DataPage data(page, FormatOfPageSize(page_size));
  return data.slot_count() < kMaxRowsPerDataPage && row_length + 2 <= RoomOnNewPage(data, page_size);
}

uint8_t AppendRowToPage(uint8_t* page, size_t page_size, std::string_view row) {
  const JetFormat& format = FormatOfPageSize(page_size);
  const DataPage data(page, format);
  const uint16_t slots = data.slot_count();
  const size_t room = RoomOnNewPage(data, page_size);
  const size_t start = data.slot_table_end() + room - row.size();
  std::memcpy(page + start, row.data(), row.size());
  PutU16(page + format.data_header_size + 2 * slots, static_cast<uint16_t>(start));
  PutU16(page + format.data_slot_count, static_cast<uint16_t>(slots + 1));
  PutU16(page + kDataPageFreeSpace, static_cast<uint16_t>(room - row.size() - 2));
  return static_cast<uint8_t>(slots);
}

void EmptyDataPage(uint8_t* page, size_t page_size) {
  const JetFormat& format = FormatOfPageSize(page_size);
  const size_t slots = format.data_header_size;
  std::memset(page + slots, 0, page_size - slots);
  PutU16(page + format.data_slot_count, 1);
  PutU16(page + slots, static_cast<uint16_t>(page_size | kSlotDeleted | kSlotOverflow));
  PutU16(page + kDataPageFreeSpace, static_cast<uint16_t>(page_size - slots - 2));
}

void DeleteRowOnPage(uint8_t* page, size_t page_size, uint8_t slot) {
  uint8_t* entry = page + FormatOfPageSize(page_size).data_header_size + 2 * slot;
  PutU16(entry, static_cast<uint16_t>(GetU16(entry) | kSlotDeleted | kSlotOverflow));
}

}  // namespace engine::jet
