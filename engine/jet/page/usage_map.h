// Usage maps: which pages a table, index or long-value column owns. A map is one row on a
// data page. Inline maps (first byte 0x00): u32 first page, then a bitmap, bit i for page
// first + i. Reference maps (first byte 0x01): u32 numbers of bitmap pages (type 0x05, bitmap
// from byte 4), the i-th covering pages i * (page_size - 4) * 8 onwards; 0 = not created.
// Layout: FORMAT.md, "Usage maps".
#pragma once

#include <cstdint>
#include <vector>

#include "engine/jet/storage/page_store.h"
#include "engine/jet/format/table_definition.h"

namespace engine::jet {

inline constexpr uint8_t kInlineMapKind = 0x00;
inline constexpr uint8_t kReferenceMapKind = 0x01;
inline constexpr size_t kInlineMapHeader = 5;    // kind byte + u32 first page
inline constexpr size_t kBitmapPageHeader = 4;   // 05 01 00 00
// The inline maps Jet creates: the header and 64 bitmap bytes (512 pages).
inline constexpr size_t kMapRowSize = kInlineMapHeader + 64;

// The pages the map lists, in ascending order. A null pointer (page 0) gives an empty list.
// A page past the end of the file means the file was cut short: that throws. (Only the
// global map, which this reader never reads, marks pages beyond the end.)
std::vector<uint32_t> ReadUsageMap(PageStore& pager, RowPointer map);

}  // namespace engine::jet
