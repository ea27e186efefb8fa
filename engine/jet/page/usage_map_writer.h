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
  UsageMapEditor(PageStore& store, RowPointer where, std::function<uint32_t()> allocate_bitmap_page = {});

  bool Contains(uint32_t page);
  // Every page whose bit is set, ascending.
  std::vector<uint32_t> Pages();
  // The highest page whose bit is set, at most `below` - 1; 0 when none.
  uint32_t HighestBelow(uint32_t below);
  void Add(uint32_t page);
  void Remove(uint32_t page);
  // Clears every bit (keeps the kind and, for inline maps, the start page).
  void Clear();
  bool is_reference();

  // Sets a bit to the given state; for the global map "true" means free.
  void SetBit(uint32_t page, bool value);

 private:
  struct Row {
    uint8_t* bytes = nullptr;  // writable only after Writable()
    const uint8_t* read = nullptr;
    size_t length = 0;
  };
  Row Locate(bool writable);
  // The map's bits as they stand, read through the one map reader.
  UsageMapBits Bits();
  void AddInline(Row row, uint32_t page, bool value);
  void Promote(Row row);
  void SetInReference(Row row, uint32_t page, bool value);

  PageStore& store_;
  RowPointer where_;
  std::function<uint32_t()> allocate_bitmap_page_;
};

// Hands out new pages at the end of the file and records them in the global usage map, as
// Jackcess does (never re-uses free pages, so no page Access may still think in use is taken).
class PageAllocator {
 public:
  explicit PageAllocator(PageStore& store) : store_(store) {}
  // A new zero-filled writable page, marked used in the global map.
  uint32_t Allocate();
  // Marks a page free in the global map (its content stays).
  void Release(uint32_t page);
  // Marks a page used in the global map (a page taken again by its owner).
  void MarkUsed(uint32_t page);

 private:
  PageStore& store_;
};

// The global usage map's pointer: page 1, row 0.
inline constexpr RowPointer kGlobalUsageMap{1, 0};

}  // namespace engine::jet
