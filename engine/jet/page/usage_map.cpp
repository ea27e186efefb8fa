// Usage map decoding: see usage_map.h.
#include "engine/jet/page/usage_map.h"

#include "engine/jet/format/byte_reader.h"
#include "engine/jet/page/data_page.h"

#include <string>

namespace engine::jet {
namespace {


void AddBits(const PageStore& pager, const uint8_t* bits, size_t bytes, uint64_t first, std::vector<uint32_t>& pages) {
  for (size_t i = 0; i < bytes; ++i) {
    uint8_t b = bits[i];
    while (b != 0) {
      const int bit = __builtin_ctz(b);
      b &= static_cast<uint8_t>(b - 1);
      const uint64_t page = first + i * 8 + bit;
      if (page >= pager.page_count()) {
        pager.Damaged("a table lists page " + std::to_string(page) + ", past the end of the file: the file is cut short");
      }
      pages.push_back(static_cast<uint32_t>(page));
    }
  }
}

}  // namespace

std::vector<uint32_t> ReadUsageMap(PageStore& pager, RowPointer map) {
  std::vector<uint32_t> pages;
  if (map.page == 0) return pages;
  RowSlot row = ReadRowSlot(pager, map.page, map.row);
  if (row.size < 1) pager.Damaged("an empty usage map");
  if (row.data[0] == kInlineMapKind) {
    if (row.size < kInlineMapHeader) pager.Damaged("a usage map is cut short");
    const uint32_t first = GetU32(row.data + 1);
    AddBits(pager, row.data + kInlineMapHeader, row.size - kInlineMapHeader, first, pages);
  } else if (row.data[0] == kReferenceMapKind) {
    const size_t per_page = (pager.page_size() - kBitmapPageHeader) * 8;
    const size_t count = (row.size - 1) / 4;
    for (size_t i = 0; i < count; ++i) {
      const uint32_t bitmap_page = GetU32(row.data + 1 + 4 * i);
      if (bitmap_page == 0) continue;
      const uint64_t first = static_cast<uint64_t>(i) * per_page;
      const uint8_t* bitmap = pager.ReadPage(bitmap_page);
      if (bitmap[0] != kPageUsageBitmap) pager.Damaged("a usage map points to a page that is not a bitmap");
      AddBits(pager, bitmap + kBitmapPageHeader, pager.page_size() - kBitmapPageHeader, first, pages);
    }
  } else {
    pager.Damaged("a usage map of unknown kind");
  }
  return pages;
}

}  // namespace engine::jet
