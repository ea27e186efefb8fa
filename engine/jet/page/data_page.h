// Data pages (type 0x01): table rows, long-value rows and usage-map rows. The page starts
// 01 01, u16 free bytes at 2, u32 owner at 4 (the table's TDEF page, or "LVAL"); in Jet 4 four
// unknown bytes follow; then the u16 slot count and the slot table, one u16 per row (offsets
// per version in format.h): bits 0..12 the row's first byte, 0x8000 deleted, 0x4000 overflow
// (the row body is then a 4-byte pointer: row byte, 3-byte page number to where the row now
// lives). Rows grow down from the page end, so row i ends where row i-1 starts (row 0 ends at
// the page end), and free = lowest row start - end of the slot table. A deleted row keeps its
// slot with flags 0xC000, so row numbers never change.
//
// Everything that reads or writes these bytes goes through here; RowPlacer
// (data_page_writer.h) chooses the page a new row goes to.
// Layout: FORMAT.md, "Data pages".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "engine/jet/format/byte_reader.h"
#include "engine/jet/format/table_definition.h"
#include "engine/jet/storage/page_store.h"

namespace engine::jet {

inline constexpr size_t kDataPageFreeSpace = kPageFreeSpaceOffset;  // u16, both versions
inline constexpr size_t kDataPageOwner = kPageOwnerOffset;          // u32, both versions
inline constexpr uint16_t kSlotDeleted = 0x8000;
inline constexpr uint16_t kSlotOverflow = 0x4000;
inline constexpr uint16_t kSlotOffsetMask = 0x1FFF;
// A row pointer keeps the slot in one byte, and Jet puts at most 255 rows on a page.
inline constexpr size_t kMaxRowsPerDataPage = 255;
// The longest table row of a Jet 4 table, which is the only kind the table creator lays out;
// the writers take each version's bounds from JetFormat (max_row_size, max_long_value_row_size).
inline constexpr size_t kMaxRowSize = kJet4Format.max_row_size;
inline constexpr uint32_t kLongValueOwner = 0x4C41564C;  // "LVAL" as a little-endian u32

// A row pointer as rows store it: the row byte, then the 3-byte page. A moved row points to
// its new place with one, and a long value to its LVAL rows (long_value.h).
inline constexpr size_t kStoredRowPointerSize = 4;
RowId DecodeRowPointer(const uint8_t* bytes);
void EncodeRowPointer(RowId row, uint8_t* out);

// One slot and the bounds it gives its row: [start, end).
struct SlotEntry {
  uint16_t flags = 0;  // kSlotDeleted / kSlotOverflow bits
  size_t start = 0;
  size_t end = 0;
  bool deleted() const { return flags & kSlotDeleted; }
  bool overflow() const { return flags & kSlotOverflow; }
  // Sound bounds: the row lies below the one before it and above the slot table.
  bool fits(size_t slot_table_end) const { return slot_table_end <= start && start <= end; }
};

// A data page's header and slot table, read in place: from a page the caller holds, or from
// a handle the view then keeps.
class DataPage {
 public:
  DataPage(const uint8_t* bytes, const JetFormat& format) : bytes_(bytes), format_(&format) {}
  DataPage(PageRef page, const JetFormat& format) : page_(std::move(page)), bytes_(page_.data()), format_(&format) {}

  bool is_data_page() const { return bytes_[0] == kPageData; }
  // The owner field: a table's TDEF page, or kLongValueOwner; so a tag, not a PageNumber.
  uint32_t owner() const { return GetU32(bytes_ + kDataPageOwner); }
  // A data page of the given owner (usage maps may keep bits for pages given back).
  bool owned_by(uint32_t owner_tag) const { return is_data_page() && owner() == owner_tag; }
  bool owned_by(PageNumber tdef_page) const { return owned_by(tdef_page.value()); }
  uint16_t free_space() const { return GetU16(bytes_ + kDataPageFreeSpace); }
  uint16_t slot_count() const { return GetU16(bytes_ + format_->data_slot_count); }
  size_t slot_table_end() const { return format_->data_header_size + 2u * slot_count(); }
  // Whether the slot table fits in the page.
  bool slot_table_fits() const { return slot_table_end() <= format_->page_size; }
  // Slot `slot` (below slot_count(); the slot table must fit).
  SlotEntry slot(uint16_t slot) const {
    const uint8_t* table = bytes_ + format_->data_header_size;
    const uint16_t entry = GetU16(table + 2 * slot);
    SlotEntry out;
    out.flags = entry & (kSlotDeleted | kSlotOverflow);
    out.start = entry & kSlotOffsetMask;
    out.end = slot == 0 ? format_->page_size : (GetU16(table + 2 * (slot - 1)) & kSlotOffsetMask);
    return out;
  }
  const uint8_t* bytes() const { return bytes_; }

  // The first rule the header and slot table break, as one line naming the row, or nothing.
  // At most 255 slots, the table inside the page, every slot's start at or above the table's
  // end and at or below the start of the slot before it (the page end for slot 0), deleted
  // slots included, so that rows lie inside the page, in order, without overlapping; and in
  // Jet 4 a free-space field equal to the room the rows leave (Access and this engine always
  // keep it so, and a wrong one is often the only trace of a slot changed by damage).
  // `archivi check` reports this line and the writer refuses such a page (CheckedDataPage):
  // one rule for both.
  std::optional<std::string> SlotTableProblem() const;

 private:
  PageRef page_;
  const uint8_t* bytes_;
  const JetFormat* format_;
};

// A data page the writer is about to use, checked whole when it is made: its type, its
// owner and its slot table (DataPage::SlotTableProblem, free-space field included). Made only
// by Check, so no change can skip the checks; its changes go through the store (journalled
// like every write) and keep the free-space field right. A caller may keep one across rows
// while current() holds and nothing else changes the page, instead of checking it again.
class CheckedDataPage {
 public:
  // Throws "damaged", naming the page, when it is not a data page of `owner` or its slot
  // table is unsound.
  static CheckedDataPage Check(PageStore& store, PageNumber page, uint32_t owner);

  PageNumber page() const { return page_; }
  // Whether the bytes held are still the store's (a rollback, or another program's commit,
  // leaves them stale).
  bool current() const { return bytes_.current(); }

  uint16_t slot_count() const { return slot_count_; }
  // A slot, already checked; below slot_count().
  SlotEntry slot(uint16_t i) const { return DataPage(bytes_.data(), *format_).slot(i); }
  const uint8_t* row_data(const SlotEntry& slot) const { return bytes_.data() + slot.start; }
  // Bytes between the slot table and the lowest row.
  size_t room() const { return lowest_start_ - format_->data_header_size - 2u * slot_count_; }
  // Whether a row of that length and its slot fit, within Jet's 255 rows a page.
  bool HasRoom(size_t row_length) const { return slot_count_ < kMaxRowsPerDataPage && row_length + 2 <= room(); }

  // Appends a row below the lowest one; returns its slot number. The caller checked HasRoom.
  uint8_t Append(std::string_view row);
  // See EmptyDataPage and DeleteRowOnPage.
  void Empty();
  void DeleteRow(uint8_t slot);

 private:
  CheckedDataPage(PageStore& store, PageNumber page, PageRef bytes, uint16_t slots, size_t lowest_start)
      : store_(&store),
        format_(&store.format()),
        page_(page),
        bytes_(std::move(bytes)),
        slot_count_(slots),
        lowest_start_(lowest_start) {}
  uint8_t* Writable();

  PageStore* store_;
  const JetFormat* format_;
  PageNumber page_;
  PageRef bytes_;
  uint16_t slot_count_;
  size_t lowest_start_;
};

// A row's bytes as stored, and the handle that keeps them in memory.
struct RowSlot {
  PageRef page;
  PageNumber page_number;
  uint16_t flags = 0;  // kSlotDeleted / kSlotOverflow bits
  const uint8_t* data = nullptr;
  size_t size = 0;
  bool deleted() const { return flags & kSlotDeleted; }
  bool overflow() const { return flags & kSlotOverflow; }
};

// Number of slots on a data page; throws when the table would not fit in the page.
uint16_t SlotCount(const PageStore& store, const uint8_t* page);

// The slot `row` of `page` as stored. Throws when the page is not a data page, the row does not
// exist or its bounds are impossible.
RowSlot ReadRowSlot(PageStore& store, PageNumber page, uint32_t row);

// The owner field of a data page: the TDEF page of the table it belongs to.
uint32_t LoadTableOwner(PageStore& store, PageNumber page);

// A live row's bytes, following overflow pointers to where the row now lives (that place is
// flagged deleted). Throws for a deleted row and for pointer loops. `near`, a row read
// before, lends its page's handle when the row is on the same page (a walk reads a page's
// rows one after another).
RowSlot ReadLiveRow(PageStore& store, RowId id, const RowSlot* near = nullptr);

// Writing, in either version: the page size says which layout (FormatOfPageSize).
// Writes an empty data page header for the owner.
void InitDataPage(uint8_t* page, size_t page_size, uint32_t owner);
// For pages the engine itself is making (new files and tables); everything else goes through
// CheckedDataPage. Whether a row of that length fits, and appending it below the last one
// (returns its slot number; the caller checked the room).
bool DataPageHasRoom(const uint8_t* page, size_t row_length, size_t page_size = kJet4Format.page_size);
uint8_t AppendRowToPage(uint8_t* page, size_t page_size, std::string_view row);
// Empties the page for "delete every row", when nothing can point at its rows any more
// (every index of the table is emptied in the same transaction): one deleted, zero-length
// row is left and the rest is free. Keeping every deleted slot would let pages fill up with
// dead slots over repeated purges; keeping none would break mdbtools, which reads row 0 of
// every data page of a table without looking at the slot count.
void EmptyDataPage(uint8_t* page, size_t page_size);
// Marks one row deleted (its bytes stay; the free space does not change).
void DeleteRowOnPage(uint8_t* page, size_t page_size, uint8_t slot);

}  // namespace engine::jet
