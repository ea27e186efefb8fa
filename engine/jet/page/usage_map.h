// Usage maps: which pages a table, index or long-value column owns. A map is one row on a
// data page. Inline maps (first byte 0x00): u32 first page, then a bitmap, bit i for page
// first + i. Reference maps (first byte 0x01): u32 numbers of bitmap pages (type 0x05, bitmap
// from byte 4), the i-th covering pages i * (page_size - 4) * 8 onwards; 0 = not created.
// Every reading of a map's bits goes through UsageMapBits; UsageMapEditor
// (usage_map_writer.h) changes them.
// Layout: FORMAT.md, "Usage maps".
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/jet/storage/page_store.h"
#include "engine/jet/format/table_definition.h"

namespace engine::jet {

inline constexpr uint8_t kInlineMapKind = 0x00;
inline constexpr uint8_t kReferenceMapKind = 0x01;
inline constexpr size_t kInlineMapHeader = 5;     // kind byte + u32 first page
inline constexpr size_t kReferenceMapHeader = 1;  // kind byte, then the u32 bitmap-page numbers
inline constexpr size_t kBitmapPageHeader = 4;    // 05 01 00 00
// The inline maps Jet creates: the header and 64 bitmap bytes (512 pages).
inline constexpr size_t kMapRowSize = kInlineMapHeader + 64;

// Bit i of a bitmap: byte i / 8, least significant bit first.
inline bool MapBit(const uint8_t* bits, size_t i) { return (bits[i / 8] >> (i % 8)) & 1u; }
inline void SetMapBit(uint8_t* bits, size_t i, bool value) {
  const auto mask = static_cast<uint8_t>(1u << (i % 8));
  bits[i / 8] = static_cast<uint8_t>(value ? bits[i / 8] | mask : bits[i / 8] & ~mask);
}

// Makes `row` (`size` bytes) an inline map whose window starts at `first`, with no bit set.
void StartInlineMap(uint8_t* row, size_t size, uint32_t first);
// Makes `page` an empty bitmap page of a reference map (its header, then no bit set).
void StartBitmapPage(uint8_t* page, size_t page_size);

// One stretch of a map's bitmap: bit i (byte i / 8, least significant bit first) stands for
// page first + i. Pages are 64-bit here: an inline window may reach past 32 bits.
struct BitmapRun {
  PageRef bitmap_page;  // holds a reference map's bitmap page
  uint64_t first = 0;
  const uint8_t* bits = nullptr;
  size_t bytes = 0;

  bool covers(uint64_t page) const { return page >= first && page - first < bytes * 8; }
  bool test(uint64_t page) const {
    if (!covers(page)) return false;
    return MapBit(bits, page - first);
  }
  // Calls visit(page) for every set bit, ascending.
  template <typename Visit>
  void ForEachPage(Visit&& visit) const {
    for (size_t i = 0; i < bytes; ++i) {
      for (unsigned b = bits[i]; b != 0; b &= b - 1) visit(first + i * 8 + static_cast<unsigned>(__builtin_ctz(b)));
    }
  }
  // The highest page below `limit` whose bit is set; false when there is none.
  bool HighestBelow(uint64_t limit, uint64_t& page) const;
};

// The bitmaps of one map row, read in place (the view holds the row's page): an inline map is one run, a reference map one
// run per bitmap-page slot (an empty run while the slot has no page). Throws "damaged" for an
// empty row, an inline row shorter than its header, an unknown kind, and a slot that names a
// page that is not a bitmap page.
class UsageMapBits {
 public:
  UsageMapBits(PageStore& store, PageRef page, const uint8_t* row, size_t size);

  bool is_reference() const { return row_[0] == kReferenceMapKind; }
  size_t run_count() const { return run_count_; }
  // Run i, ascending by first page; a reference map's bitmap page is read here.
  BitmapRun run(size_t i) const;
  // The bitmap page of slot i of a reference map; none while it is not made.
  PageNumber bitmap_page(size_t i) const;
  // The run that covers `page`, run_count() when none does.
  size_t RunCovering(uint64_t page) const;
  // Calls visit(page) for every set bit of every run, ascending.
  template <typename Visit>
  void ForEachPage(Visit&& visit) const {
    for (size_t i = 0; i < run_count_; ++i) run(i).ForEachPage(visit);
  }
  bool Contains(uint64_t page) const {
    const size_t i = RunCovering(page);
    return i < run_count_ && run(i).test(page);
  }
  // Pages one bitmap page of a reference map covers.
  static size_t PagesPerBitmapPage(size_t page_size) { return (page_size - kBitmapPageHeader) * 8; }

 private:
  PageStore& store_;
  PageRef page_;
  const uint8_t* row_;
  size_t size_;
  size_t run_count_ = 1;
};

// The pages the map lists, in ascending order. A null pointer (page 0) gives an empty list.
// A page past the end of the file means the file was cut short: that throws. (Only the
// global map, which this reader never reads, marks pages beyond the end.)
std::vector<PageNumber> ReadUsageMap(PageStore& pager, RowId map);

}  // namespace engine::jet
