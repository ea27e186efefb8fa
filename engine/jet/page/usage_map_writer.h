// Reading and changing Jet 4 usage maps, and allocating pages.
//
// A usage map is one row on a data page, addressed by (page, row). Its first byte says the
// kind: 0x00 inline = u32 first page covered, then a bitmap (bit i <-> page start+i, LSB
// first); 0x01 reference = u32 page numbers of type-0x05 bitmap pages ("05 01 00 00" then
// (page_size-4)*8 bits, page i*bits_per_page+n <-> bit n). The row's length comes from the
// data page's slot table. In the global map (page 1, row 0) a set bit means "free"; in every
// other map a set bit means "owned".
// Layout: FORMAT.md, "Usage maps".
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/jet/format/table_definition.h"
#include "engine/jet/page/usage_map.h"
#include "engine/jet/storage/page_store.h"

namespace engine::jet {

// One map, read (through UsageMapBits) and changed in place through the page store.
class UsageMapEditor {
 public:
  // `allocate_bitmap_page` gives a fresh writable page for a reference map's bitmap pages
  // (already taken out of the global map); it is needed only when a map grows.
  UsageMapEditor(PageStore& store, RowId where, std::function<PageNumber()> allocate_bitmap_page = {});

  bool Contains(PageNumber page);
  // Every page whose bit is set, ascending.
  std::vector<PageNumber> Pages();
  // The highest page whose bit is set, at most `below` - 1; none when there is none.
  PageNumber HighestBelow(PageNumber below);
  // The highest page whose bit is set; none when there is none.
  PageNumber Highest() { return HighestBelow(PageNumber(UINT32_MAX)); }
  void Add(PageNumber page);
  void Remove(PageNumber page);
  // Clears every bit (keeps the kind and, for inline maps, the start page).
  void Clear();
  bool is_reference();

  // Sets a bit to the given state; for the global map "true" means free.
  void SetBit(PageNumber page, bool value);

 private:
  struct Row {
    PageRef page;              // keeps the row's page in memory
    uint8_t* bytes = nullptr;  // writable only after Writable()
    const uint8_t* read = nullptr;
    size_t length = 0;
  };
  Row Locate(bool writable);
  // The map's bits as they stand, read through the one map reader.
  UsageMapBits Bits();
  void AddInline(Row row, PageNumber page, bool value);
  void Promote(Row row);
  void SetInReference(Row row, PageNumber page, bool value);

  PageStore& store_;
  RowId where_;
  std::function<PageNumber()> allocate_bitmap_page_;
};

// Hands out new pages at the end of the file and records them in the global usage map, as
// Jackcess does (never re-uses free pages, so no page Access may still think in use is taken).
class PageAllocator {
 public:
  explicit PageAllocator(PageStore& store) : store_(store) {}
  // A new zero-filled writable page, marked used in the global map.
  PageNumber Allocate();
  // Marks a page free in the global map (its content stays).
  void Release(PageNumber page);
  // Marks a page used in the global map (a page taken again by its owner).
  void MarkUsed(PageNumber page);

 private:
  PageStore& store_;
};

// The global usage map's pointer: page 1, row 0.
inline constexpr RowId kGlobalUsageMap{PageNumber(1), 0};

}  // namespace engine::jet
