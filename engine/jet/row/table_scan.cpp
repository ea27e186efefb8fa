// Table scan: see table_scan.h.
#include "engine/jet/row/table_scan.h"

#include "engine/jet/format/byte_reader.h"
#include "engine/jet/page/data_page.h"
#include "engine/jet/page/usage_map.h"

namespace engine::jet {

std::vector<RowId> ListLiveRows(PageStore& store, const TableDefinition& table) {
  std::vector<RowId> rows;
  for (PageNumber page_number : ReadUsageMap(store, table.owned_pages)) {
    const DataPage page(store.ReadPage(page_number), store.format());
    // Usage maps may keep bits for pages the table gave back; only its own data pages count.
    if (!page.owned_by(table.tdef_page)) continue;
    const uint16_t count = SlotCount(store, page.bytes());
    if (count > kMaxRowsPerDataPage) store.Damaged("a data page holds more rows than Jet allows");
    for (uint16_t slot = 0; slot < count; ++slot) {
      if (page.slot(slot).deleted()) continue;
      rows.push_back({page_number, static_cast<uint8_t>(slot)});
    }
  }
  return rows;
}

uint32_t CountedRows(PageStore& store, const TableDefinition& table) {
  return GetU32(store.ReadPage(table.tdef_page).data() + store.format().tdef_row_count);
}

void RowValuesReader::Read(RowId row, std::vector<Value>& values) {
  slot_ = ReadLiveRow(pager_, row);
  decoder_.Crack(slot_.data, slot_.size, cracked_);
  values.resize(table_.columns.size());
  for (size_t c = 0; c < table_.columns.size(); ++c) values[c] = decoder_.Decode(cracked_, static_cast<int>(c));
}

}  // namespace engine::jet
