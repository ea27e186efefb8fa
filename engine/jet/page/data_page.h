// Rows on data pages (type 0x01; also long-value and usage-map pages). After the page header
// comes the slot table, one u16 per row: bits 0..12 the row's first byte, 0x8000 deleted,
// 0x4000 overflow (the row body is then a 4-byte pointer: row byte, 3-byte page number to
// where the row now lives). Rows grow down from the page end, so row i ends where row i-1
// starts (row 0 ends at the page end).
// Layout: FORMAT.md, "Data pages".
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/jet/storage/page_store.h"
#include "engine/jet/format/table_definition.h"

namespace engine::jet {

struct RowSlot {
  uint16_t flags = 0;  // kSlotDeleted / kSlotOverflow bits
  const uint8_t* data = nullptr;
  size_t size = 0;
  bool deleted() const { return flags & kSlotDeleted; }
  bool overflow() const { return flags & kSlotOverflow; }
};

// Number of slots on a data page; throws when the table would not fit in the page.
uint16_t SlotCount(const PageStore& pager, const uint8_t* page);

// The slot `row` of `page` as stored. Throws when the page is not a data page, the row does not
// exist or its bounds are impossible.
RowSlot ReadRowSlot(PageStore& pager, uint32_t page, uint32_t row);

// The owner field of a data page: the TDEF page of the table it belongs to.
uint32_t LoadTableOwner(PageStore& pager, uint32_t page);

// A live row's bytes, following overflow pointers to where the row now lives (that place is
// flagged deleted). Throws for a deleted row and for pointer loops.
RowSlot ReadLiveRow(PageStore& pager, RowId id);

}  // namespace engine::jet
