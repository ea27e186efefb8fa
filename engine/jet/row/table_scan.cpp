// Table scan: see table_scan.h.
#include "engine/jet/row/table_scan.h"

#include "engine/bytes.h"
#include "engine/jet/format/byte_reader.h"
#include "engine/jet/page/data_page.h"
#include "engine/jet/page/usage_map.h"

namespace engine::jet {
namespace {

constexpr size_t kOwnerOffset = 4;
constexpr uint32_t kMaxRowsPerPage = 256;  // a row id keeps the slot in one byte

}  // namespace

std::vector<RowId> ListLiveRows(PageStore& pager, const TableDefinition& table) {
  std::vector<RowId> rows;
  const size_t slot_table = pager.format().data_header_size;
  for (uint32_t page_number : ReadUsageMap(pager, table.owned_pages)) {
    const uint8_t* page = pager.ReadPage(page_number);
    // Usage maps may keep bits for pages the table gave back; only its own data pages count.
    if (page[0] != kPageData || GetU32(page + kOwnerOffset) != table.tdef_page) continue;
    const uint16_t count = SlotCount(pager, page);
    if (count > kMaxRowsPerPage) pager.Damaged("a data page holds more rows than Jet allows");
    for (uint32_t slot = 0; slot < count; ++slot) {
      if (GetU16(page + slot_table + 2 * slot) & kSlotDeleted) continue;
      rows.push_back({page_number, static_cast<uint8_t>(slot)});
    }
  }
  return rows;
}

uint32_t CountedRows(PageStore& pager, const TableDefinition& table) {
  return GetU32(pager.ReadPage(table.tdef_page) + pager.format().tdef_row_count);
}

}  // namespace engine::jet
