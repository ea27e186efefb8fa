// Usage map decoding: see usage_map.h.
#include "engine/jet/page/usage_map.h"

#include <cstring>
#include <string>

#include "engine/jet/format/byte_reader.h"
#include "engine/jet/page/data_page.h"

namespace engine::jet {

bool BitmapRun::HighestBelow(uint64_t limit, uint64_t& page) const {
  for (size_t i = bytes; i-- > 0;) {
    for (unsigned b = bits[i]; b != 0;) {
      const unsigned top = 31u - static_cast<unsigned>(__builtin_clz(b));
      const uint64_t candidate = first + i * 8 + top;
      if (candidate < limit) {
        page = candidate;
        return true;
      }
      b &= ~(1u << top);
    }
  }
  return false;
}

UsageMapBits::UsageMapBits(PageStore& store, PageRef page, const uint8_t* row, size_t size)
    : store_(store), page_(std::move(page)), row_(row), size_(size) {
  if (size < 1) store.Damaged("an empty usage map");
  if (row[0] == kInlineMapKind) {
    if (size < kInlineMapHeader) store.Damaged("a usage map is cut short");
  } else if (row[0] == kReferenceMapKind) {
    run_count_ = (size - kReferenceMapHeader) / 4;
  } else {
    store.Damaged("a usage map of unknown kind");
  }
}

PageNumber UsageMapBits::bitmap_page(size_t i) const { return GetPageNumber(row_ + kReferenceMapHeader + 4 * i); }

BitmapRun UsageMapBits::run(size_t i) const {
  if (!is_reference()) return {page_, GetU32(row_ + 1), row_ + kInlineMapHeader, size_ - kInlineMapHeader};
  const size_t page_size = store_.page_size();
  BitmapRun out;
  out.first = static_cast<uint64_t>(i) * PagesPerBitmapPage(page_size);
  const PageNumber page = bitmap_page(i);
  if (page.is_none()) return out;
  out.bitmap_page = store_.ReadPage(page);
  const uint8_t* bitmap = out.bitmap_page.data();
  if (bitmap[0] != kPageUsageBitmap) store_.Damaged("a usage map points to a page that is not a bitmap");
  out.bits = bitmap + kBitmapPageHeader;
  out.bytes = page_size - kBitmapPageHeader;
  return out;
}

size_t UsageMapBits::RunCovering(uint64_t page) const {
  if (!is_reference()) {
    const uint64_t first = GetU32(row_ + 1);
    return page >= first && page - first < (size_ - kInlineMapHeader) * 8 ? 0 : run_count_;
  }
  const uint64_t slot = page / PagesPerBitmapPage(store_.page_size());
  return slot < run_count_ ? static_cast<size_t>(slot) : run_count_;
}

std::vector<PageNumber> ReadUsageMap(PageStore& pager, RowId map) {
  std::vector<PageNumber> pages;
  if (map.page.is_none()) return pages;
  const RowSlot row = ReadRowSlot(pager, map.page, map.row);
  const UsageMapBits bits(pager, row.page, row.data, row.size);
  const uint32_t page_count = pager.page_count();
  bits.ForEachPage([&](uint64_t page) {
    if (page >= page_count) {
      pager.Damaged("a table lists page " + std::to_string(page) + ", past the end of the file: the file is cut short");
    }
    pages.push_back(PageNumber(static_cast<uint32_t>(page)));
  });
  return pages;
}

void StartInlineMap(uint8_t* row, size_t size, uint32_t first) {
  std::memset(row, 0, size);
  row[0] = kInlineMapKind;
  PutU32(row + 1, first);
}

void StartBitmapPage(uint8_t* page, size_t page_size) {
  StartPage(page, page_size, kPageUsageBitmap);
}

}  // namespace engine::jet
