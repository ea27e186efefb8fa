// Data page slot table: see data_page.h.
#include "engine/jet/page/data_page.h"

#include <string>

#include "engine/bytes.h"
#include "engine/jet/format/byte_reader.h"

namespace engine::jet {
namespace {

// An overflow row points to its new place, which is never itself moved again by Jet; a few hops
// are allowed for safety, more means a damaged file.
constexpr int kMaxOverflowHops = 4;

}  // namespace

uint16_t SlotCount(const PageStore& pager, const uint8_t* page) {
  const JetFormat& f = pager.format();
  const uint16_t count = GetU16(page + f.data_slot_count);
  if (f.data_header_size + 2u * count > f.page_size) pager.Damaged("a data page lists more rows than it can hold");
  return count;
}

RowSlot ReadRowSlot(PageStore& pager, uint32_t page_number, uint32_t row) {
  const JetFormat& f = pager.format();
  const uint8_t* page = pager.ReadPage(page_number);
  if (page[0] != kPageData) {
    pager.Damaged("page " + std::to_string(page_number) + " should hold rows but does not");
  }
  const uint16_t count = SlotCount(pager, page);
  if (row >= count) {
    pager.Damaged("row " + std::to_string(row) + " of page " + std::to_string(page_number) + " does not exist");
  }
  const uint8_t* slots = page + f.data_header_size;
  const uint16_t entry = GetU16(slots + 2 * row);
  const size_t start = entry & kSlotOffsetMask;
  const size_t end = row == 0 ? f.page_size : (GetU16(slots + 2 * (row - 1)) & kSlotOffsetMask);
  if (start < f.data_header_size + 2u * count || start > end || end > f.page_size) {
    pager.Damaged("row " + std::to_string(row) + " of page " + std::to_string(page_number) + " has impossible bounds");
  }
  RowSlot slot;
  slot.flags = entry & (kSlotDeleted | kSlotOverflow);
  slot.data = page + start;
  slot.size = end - start;
  return slot;
}

uint32_t LoadTableOwner(PageStore& pager, uint32_t page) { return GetU32(pager.ReadPage(page) + 4); }

RowSlot ReadLiveRow(PageStore& pager, RowId id) {
  uint32_t page = id.page;
  uint32_t row = id.row;
  for (int hop = 0; hop <= kMaxOverflowHops; ++hop) {
    RowSlot slot = ReadRowSlot(pager, page, row);
    // Jet flags the new place of a moved row as deleted too, so that scans see it only once,
    // through the pointer; only the first slot must be live.
    if (hop == 0 && slot.deleted()) pager.Damaged("a deleted row was asked for");
    if (!slot.overflow()) return slot;
    if (slot.size < 4) pager.Damaged("a moved row's pointer is cut short");
    row = slot.data[0];
    page = GetU24(slot.data + 1);
  }
  pager.Damaged("moved rows point at each other in a loop");
}

}  // namespace engine::jet
