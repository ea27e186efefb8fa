// Putting rows on Jet 4 data pages (table rows and long-value rows alike).
// A data page: 01 01, u16 free bytes, u32 owner (the TDEF page, or "LVAL"), u32 0, u16 slot
// count, u16 slots; rows grow down from the page end, each directly below the previous one
// (a row's end is the previous row's start), and free = lowest start - (14 + 2 * slots).
// A deleted row keeps its slot with flags 0xC000 so row numbers never change.
// Layout: FORMAT.md, "Data pages".
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/jet/storage/page_store.h"
#include "engine/jet/format/table_definition.h"
#include "engine/jet/page/usage_map_writer.h"

namespace engine::jet {

inline constexpr uint32_t kLongValueOwner = 0x4C41564C;  // "LVAL" as a little-endian u32

// Writes an empty data page header for the owner.
void InitDataPage(uint8_t* page, size_t page_size, uint32_t owner);
// Whether a row of that length fits (free space and the 255-slot limit).
bool DataPageHasRoom(const uint8_t* page, size_t row_length);
// Appends a row below the last one; returns its slot number. The caller checked the room.
uint8_t AppendRowToPage(uint8_t* page, size_t page_size, std::string_view row);
// Empties the page for "delete every row", when nothing can point at its rows any more
// (every index of the table is emptied in the same transaction): one deleted, zero-length
// row is left and the rest is free. Keeping every deleted slot would let pages fill up with
// dead slots (255 at most) over repeated purges; keeping none would break mdbtools, which
// reads row 0 of every data page of a table without looking at the slot count.
void EmptyDataPage(uint8_t* page, size_t page_size);
// Marks one row deleted (its bytes stay; the free space does not change).
void DeleteRowOnPage(uint8_t* page, uint8_t slot);

// Chooses pages for a set of rows with one owner: the last page of the free-space map that
// is one of the owner's data pages and has room, else a new page recorded in the owned and
// free maps. `free_map` may be null (page 0): then only the owned map is used.
class RowPlacer {
 public:
  RowPlacer(PageStore& store, PageAllocator& allocator, uint32_t owner, RowPointer owned_map, RowPointer free_map);
  RowId Place(std::string_view row);
  void ForgetHint() { hint_ = 0; }

 private:
  uint32_t Candidate();
  bool Usable(uint32_t page, size_t row_length);
  uint32_t NewPage();

  PageStore& store_;
  PageAllocator& allocator_;
  uint32_t owner_;
  RowPointer owned_map_, free_map_;
  uint32_t hint_ = 0;  // the page used last; checked again before every use
};

}  // namespace engine::jet
