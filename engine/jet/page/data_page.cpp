// Data page header and slot table: see data_page.h.
#include "engine/jet/page/data_page.h"

#include <cstring>
#include <string>

#include "engine/bytes.h"

namespace engine::jet {
namespace {

// An overflow row points to its new place, which is never itself moved again by Jet; a few hops
// are allowed for safety, more means a damaged file.
constexpr int kMaxOverflowHops = 4;

// The layout every written page has.
const JetFormat& kWritten = kJet4Format;

}  // namespace

RowId DecodeRowPointer(const uint8_t* bytes) { return RowId{PageNumber(GetU24(bytes + 1)), bytes[0]}; }

void EncodeRowPointer(RowId row, uint8_t* out) {
  out[0] = row.row;
  PutU24(out + 1, row.page.value());
}

uint16_t SlotCount(const PageStore& store, const uint8_t* page) {
  const DataPage data(page, store.format());
  if (!data.slot_table_fits()) store.Damaged("a data page lists more rows than it can hold");
  return data.slot_count();
}

RowSlot ReadRowSlot(PageStore& store, PageNumber page_number, uint32_t row) {
  const DataPage page(store.ReadPage(page_number), store.format());
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
  out.flags = slot.flags;
  out.data = page.bytes() + slot.start;
  out.size = slot.end - slot.start;
  return out;
}

uint32_t LoadTableOwner(PageStore& store, PageNumber page) {
  return DataPage(store.ReadPage(page), store.format()).owner();
}

RowSlot ReadLiveRow(PageStore& store, RowId id) {
  PageNumber page = id.page;
  uint32_t row = id.row;
  for (int hop = 0; hop <= kMaxOverflowHops; ++hop) {
    RowSlot slot = ReadRowSlot(store, page, row);
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

void InitDataPage(uint8_t* page, size_t page_size, uint32_t owner) {
  std::memset(page, 0, page_size);
  page[0] = kPageData;
  page[1] = 0x01;
  PutU16(page + kDataPageFreeSpace, static_cast<uint16_t>(page_size - kWritten.data_header_size));
  PutU32(page + kDataPageOwner, owner);
}

bool DataPageHasRoom(const uint8_t* page, size_t row_length) {
  const DataPage data(page, kWritten);
  return data.slot_count() < kMaxRowsPerDataPage && row_length + 2 <= data.free_space();
}

uint8_t AppendRowToPage(uint8_t* page, size_t page_size, std::string_view row) {
  const DataPage data(page, kWritten);
  const uint16_t slots = data.slot_count();
  const size_t top = slots == 0 ? page_size : data.slot(static_cast<uint16_t>(slots - 1)).start;
  const size_t start = top - row.size();
  std::memcpy(page + start, row.data(), row.size());
  PutU16(page + kWritten.data_header_size + 2 * slots, static_cast<uint16_t>(start));
  PutU16(page + kWritten.data_slot_count, static_cast<uint16_t>(slots + 1));
  PutU16(page + kDataPageFreeSpace, static_cast<uint16_t>(data.free_space() - row.size() - 2));
  return static_cast<uint8_t>(slots);
}

void EmptyDataPage(uint8_t* page, size_t page_size) {
  const size_t slots = kWritten.data_header_size;
  std::memset(page + slots, 0, page_size - slots);
  PutU16(page + kWritten.data_slot_count, 1);
  PutU16(page + slots, static_cast<uint16_t>(page_size | kSlotDeleted | kSlotOverflow));
  PutU16(page + kDataPageFreeSpace, static_cast<uint16_t>(page_size - slots - 2));
}

void DeleteRowOnPage(uint8_t* page, uint8_t slot) {
  uint8_t* entry = page + kWritten.data_header_size + 2 * slot;
  PutU16(entry, static_cast<uint16_t>(GetU16(entry) | kSlotDeleted | kSlotOverflow));
}

}  // namespace engine::jet
