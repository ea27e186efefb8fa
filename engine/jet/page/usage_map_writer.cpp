#include "engine/jet/page/usage_map_writer.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/base/bytes.h"
#include "engine/base/error.h"
#include "engine/jet/page/data_page.h"
#include "engine/jet/page/usage_map.h"

namespace engine::jet {
namespace {

bool IsGlobal(RowId where) { return where.page == kGlobalUsageMap.page && where.row == kGlobalUsageMap.row; }

}  // namespace

UsageMapEditor::UsageMapEditor(PageStore& store, RowId where, std::function<PageNumber()> allocate_bitmap_page)
    : store_(store), where_(where), allocate_bitmap_page_(std::move(allocate_bitmap_page)) {}

UsageMapEditor::Row UsageMapEditor::Locate(bool writable) {
  const RowSlot slot = ReadRowSlot(store_, where_.page, where_.row);
  // Every map the editor changes is at least an inline map's header long.
  if (slot.size < kInlineMapHeader) store_.Damaged("a usage map is cut short");
  Row row;
  row.page = slot.page;
  row.read = slot.data;
  row.length = slot.size;
  if (writable) {
    const size_t start = static_cast<size_t>(slot.data - slot.page.data());
    WritablePage page = store_.WritePage(where_.page);
    row.bytes = page.data() + start;
    row.read = row.bytes;
    row.page = std::move(page);
  }
  return row;
}

UsageMapBits UsageMapEditor::Bits() {
  const Row row = Locate(false);
  return UsageMapBits(store_, row.page, row.read, row.length);
}

bool UsageMapEditor::is_reference() { return Bits().is_reference(); }

bool UsageMapEditor::Contains(PageNumber page) { return Bits().Contains(page.value()); }

std::vector<PageNumber> UsageMapEditor::Pages() {
  std::vector<PageNumber> pages;
  Bits().ForEachPage([&](uint64_t page) { pages.push_back(PageNumber(static_cast<uint32_t>(page))); });
  return pages;
}

PageNumber UsageMapEditor::HighestBelow(PageNumber limit) {
  const uint32_t below = limit.value();
  if (below == 0) return kNoPage;
  const UsageMapBits bits = Bits();
  // Runs lie in ascending order: start with the one that holds below - 1 (all of them when
  // none does), so no bitmap page wholly above `below` is read.
  for (size_t i = std::min(bits.run_count(), bits.RunCovering(below - 1) + 1); i-- > 0;) {
    uint64_t found = 0;
    if (bits.run(i).HighestBelow(below, found)) return PageNumber(static_cast<uint32_t>(found));
  }
  return kNoPage;
}

void UsageMapEditor::Add(PageNumber page) { SetBit(page, true); }
void UsageMapEditor::Remove(PageNumber page) { SetBit(page, false); }

void UsageMapEditor::Clear() {
  const UsageMapBits bits = Bits();
  if (!bits.is_reference()) {
    const BitmapRun window = bits.run(0);
    if (std::any_of(window.bits, window.bits + window.bytes, [](uint8_t b) { return b != 0; })) {
      const Row row = Locate(true);
      std::memset(row.bytes + kInlineMapHeader, 0, row.length - kInlineMapHeader);
    }
    return;
  }
  for (size_t slot = 0; slot < bits.run_count(); ++slot) {
    const PageNumber map_page = bits.bitmap_page(slot);
    if (map_page.is_none()) continue;
    std::memset(store_.WritePage(map_page).data() + kBitmapPageHeader, 0, store_.page_size() - kBitmapPageHeader);
  }
}

void UsageMapEditor::SetBit(PageNumber page, bool value) {
  const UsageMapBits bits = Bits();
  if (bits.is_reference()) {
    if (bits.Contains(page.value()) == value) return;
    SetInReference(Locate(true), page, value);
    return;
  }
  const BitmapRun window = bits.run(0);
  if (window.covers(page.value())) {
    if (window.test(page.value()) == value) return;
  } else if (IsGlobal(where_)) {
    // Outside the global window, pages before it count as used and pages after it are not
    // recorded; only marking a later page used needs the window moved.
    if (value || page.value() < window.first) return;
  } else if (!value) {
    return;  // removing a page the map does not hold
  }
  AddInline(Locate(true), page, value);
}

void UsageMapEditor::AddInline(Row row, PageNumber added, bool value) {
  const uint32_t page = added.value();  // bit arithmetic below
  const uint32_t start = GetU32(row.bytes + 1);
  const size_t bits = (row.length - kInlineMapHeader) * 8;
  if (page >= start && page - start < bits) {
    SetMapBit(row.bytes + kInlineMapHeader, page - start, value);
    return;
  }
  if (IsGlobal(where_)) {
    // Slide the window forward so the page sits in its middle. Pages that fall out of the
    // window count as used; newly covered pages are free only when they lie past the end of
    // the file (anything inside the file may belong to someone).
    if (page < start) return;
    uint32_t new_start = page > bits / 2 ? static_cast<uint32_t>((page - bits / 2) / 8 * 8) : 0;
    if (new_start < start) new_start = start;
    std::vector<uint8_t> old(row.bytes + kInlineMapHeader, row.bytes + row.length);
    StartInlineMap(row.bytes, row.length, new_start);
    const uint32_t file_pages = store_.page_count();
    for (size_t i = 0; i < bits; ++i) {
      const uint64_t p = static_cast<uint64_t>(new_start) + i;
      bool free_bit;
      if (p - start < bits) {
        const size_t ob = p - start;
        free_bit = MapBit(old.data(), ob);
      } else {
        free_bit = p >= file_pages;
      }
      if (p == page) free_bit = value;
      if (free_bit) SetMapBit(row.bytes + kInlineMapHeader, i, true);
    }
    return;
  }
  if (!value) return;  // removing a page that is not in the map
  // Owned-pages map: move the window if every page still fits, otherwise promote.
  std::vector<PageNumber> pages = Pages();
  pages.push_back(added);
  const auto [lo, hi] = std::minmax_element(pages.begin(), pages.end());
  const uint32_t new_start = lo->value() / 8 * 8;
  if (static_cast<uint64_t>(hi->value()) - new_start < bits) {
    StartInlineMap(row.bytes, row.length, new_start);
    for (PageNumber p : pages) SetMapBit(row.bytes + kInlineMapHeader, p.value() - new_start, true);
    return;
  }
  Promote(row);
  row = Locate(true);
  for (PageNumber p : pages) SetInReference(row, p, true);
}

void UsageMapEditor::Promote(Row row) {
  std::memset(row.bytes, 0, row.length);
  row.bytes[0] = kReferenceMapKind;
}

void UsageMapEditor::SetInReference(Row row, PageNumber set, bool value) {
  const uint32_t page = set.value();  // bit arithmetic below
  const size_t page_size = store_.page_size();
  const size_t per_page = UsageMapBits::PagesPerBitmapPage(page_size);
  const size_t slot = page / per_page;
  const size_t slot_offset = kReferenceMapHeader + 4 * slot;
  if (slot_offset + 4 > row.length) {
    if (!value) return;
    throw Error("", "usage map cannot cover page " + std::to_string(page) + ": the file is too large",
                ErrorKind::TooLarge);
  }
  PageNumber map_page = GetPageNumber(row.bytes + slot_offset);
  if (map_page.is_none()) {
    if (!value && !IsGlobal(where_)) return;
    if (IsGlobal(where_)) {
      // A new bitmap page of the global map: pages past the end of the file are free.
      map_page = store_.AppendPage();
      const WritablePage new_bitmap = store_.WritePage(map_page);
      uint8_t* bitmap = new_bitmap.data();
      StartBitmapPage(bitmap, page_size);
      const uint32_t file_pages = store_.page_count();
      for (size_t i = 0; i < per_page; ++i) {
        if (slot * per_page + i >= file_pages) SetMapBit(bitmap + kBitmapPageHeader, i, true);
      }
      row = Locate(true);
      PutPageNumber(row.bytes + slot_offset, map_page);
      SetBit(map_page, false);
      row = Locate(true);
    } else {
      if (!allocate_bitmap_page_) {
        throw Error("", "usage map needs a new bitmap page but cannot allocate one", ErrorKind::Other);
      }
      map_page = allocate_bitmap_page_();
      StartBitmapPage(store_.WritePage(map_page).data(), page_size);
      row = Locate(true);
      PutPageNumber(row.bytes + slot_offset, map_page);
    }
  }
  SetMapBit(store_.WritePage(map_page).data() + kBitmapPageHeader, page % per_page, value);
}

PageNumber PageAllocator::Allocate() {
  const PageNumber page = store_.AppendPage();
  MarkUsed(page);
  return page;
}

void PageAllocator::MarkUsed(PageNumber page) {
  UsageMapEditor global(store_, kGlobalUsageMap);
  global.SetBit(page, false);
}

void PageAllocator::Release(PageNumber page) {
  UsageMapEditor global(store_, kGlobalUsageMap);
  global.SetBit(page, true);
}

}  // namespace engine::jet
