// Finds the real indexes of a Jet file (either version, through the offsets of JetFormat) by
// reading table definitions straight from the pages, for index tests that should not depend on the table reader. Also
// reads usage maps (inline and reference) as page sets.
//
// A table definition is a chain of type-0x02 pages; a chain's first page is one that no
// other TDEF page names as its continuation and that the global usage map (page 1, row 0,
// set bit = free) does not list as free, since freed pages keep stale bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/jet/format/format.h"
#include "engine/jet/format/table_definition.h"
#include "engine/jet/storage/page_store.h"

namespace testsupport {

using engine::jet::PageNumber;

struct FixtureIndex {
  PageNumber tdef_page;
  uint32_t number = 0;  // real index number within the table
  PageNumber root_page;
  engine::jet::RowId usage_map;
  uint8_t flags = 0;
};

using engine::GetU16;
using engine::GetU32;

// The bytes of one row of a data page, or nothing when the pointer is out of range.
inline std::optional<std::vector<uint8_t>> ReadDataRow(engine::jet::PageStore& store,
                                                       engine::jet::RowId at) {
  if (at.page.is_none() || !store.has_page(at.page)) return std::nullopt;
  const uint8_t* page = store.ReadPage(at.page).data();
  if (page[0] != 0x01) return std::nullopt;
  const engine::jet::JetFormat& f = store.format();
  uint16_t slots = GetU16(page + f.data_slot_count);
  if (at.row >= slots) return std::nullopt;
  size_t start = GetU16(page + f.data_header_size + 2 * at.row) & 0x1FFF;
  size_t end = at.row == 0 ? store.page_size() : (GetU16(page + f.data_header_size + 2 * (at.row - 1)) & 0x1FFF);
  if (start > end || end > store.page_size()) return std::nullopt;
  return std::vector<uint8_t>(page + start, page + end);
}

// Pages a usage map lists (set bits).
inline std::set<uint32_t> UsageMapPages(engine::jet::PageStore& store, engine::jet::RowId at) {
  std::set<uint32_t> pages;
  auto row = ReadDataRow(store, at);
  if (!row || row->empty()) return pages;
  const std::vector<uint8_t>& map = *row;
  if (map[0] == 0x00 && map.size() >= 5) {
    uint32_t start = GetU32(map.data() + 1);
    for (size_t bit = 0; bit < (map.size() - 5) * 8; ++bit) {
      if (map[5 + bit / 8] & (1u << (bit % 8))) pages.insert(start + static_cast<uint32_t>(bit));
    }
  } else if (map[0] == 0x01) {
    const size_t per_page = (store.page_size() - 4) * 8;
    for (size_t k = 0; 1 + 4 * k + 4 <= map.size(); ++k) {
      const PageNumber bitmap_page(GetU32(map.data() + 1 + 4 * k));
      if (bitmap_page.is_none() || !store.has_page(bitmap_page)) continue;
      const uint8_t* bits = store.ReadPage(bitmap_page).data() + 4;
      for (size_t bit = 0; bit < per_page; ++bit) {
        if (bits[bit / 8] & (1u << (bit % 8))) pages.insert(static_cast<uint32_t>(k * per_page + bit));
      }
    }
  }
  return pages;
}

// Every real index of every live table (system tables included).
inline std::vector<FixtureIndex> FindFixtureIndexes(engine::jet::PageStore& store) {
  const std::set<uint32_t> free_pages = UsageMapPages(store, {PageNumber(1), 0});
  std::set<uint32_t> continuations;
  for (uint32_t p = 1; p < store.page_count(); ++p) {
    const uint8_t* page = store.ReadPage(PageNumber(p)).data();
    if (page[0] == 0x02 && page[1] == 0x01 && GetU32(page + 4) != 0) continuations.insert(GetU32(page + 4));
  }
  std::vector<FixtureIndex> found;
  const engine::jet::JetFormat& f = store.format();
  for (uint32_t p = 1; p < store.page_count(); ++p) {
    const uint8_t* page = store.ReadPage(PageNumber(p)).data();
    if (page[0] != 0x02 || page[1] != 0x01 || continuations.count(p) || free_pages.count(p)) continue;
    std::vector<uint8_t> tdef(page, page + store.page_size());
    std::set<uint32_t> chain = {p};
    for (uint32_t next = GetU32(page + 4); next != 0 && next < store.page_count() && chain.insert(next).second;) {
      const uint8_t* more = store.ReadPage(PageNumber(next)).data();
      tdef.insert(tdef.end(), more + 8, more + store.page_size());
      next = GetU32(more + 4);
    }
    auto fits = [&](size_t offset, size_t size) { return offset + size <= tdef.size(); };
    uint16_t columns = GetU16(tdef.data() + f.tdef_column_count);
    uint32_t real_indexes = GetU32(tdef.data() + f.tdef_real_index_count);
    if (real_indexes > 1000) continue;
    size_t at = f.tdef_first_block + f.real_index_count_entry * size_t{real_indexes} +
                f.column_descriptor_size * size_t{columns};
    bool ok = fits(at, 0);
    for (uint16_t c = 0; ok && c < columns; ++c) {
      ok = fits(at, f.name_length_size);
      if (ok) at += f.name_length_size + (f.name_length_size == 1 ? tdef[at] : GetU16(tdef.data() + at));
    }
    if (!ok || !fits(at, f.real_index_descriptor_size * size_t{real_indexes})) continue;
    for (uint32_t i = 0; i < real_indexes; ++i) {
      const uint8_t* d = tdef.data() + at + f.real_index_descriptor_size * i;
      FixtureIndex index;
      index.tdef_page = PageNumber(p);
      index.number = i;
      index.usage_map = engine::jet::RowId::FromPacked(GetU32(d + f.real_usage_map));
      index.root_page = PageNumber(GetU32(d + f.real_root_page));
      index.flags = d[f.real_flags];
      found.push_back(index);
    }
  }
  return found;
}

}  // namespace testsupport
