#include "engine/jet/table/table_purge.h"

#include "engine/base/error.h"
#include "engine/jet/page/data_page.h"
#include "engine/jet/page/long_value_writer.h"
#include "engine/jet/row/row_decoder.h"
#include "engine/jet/row/row_frame.h"
#include "engine/jet/row/table_scan.h"
#include "engine/jet/table/table_error.h"

namespace engine::jet {

TablePurge::TablePurge(PageStore& store, const TableDefinition& table, IndexSet& indexes, TdefCounters& counters,
                       std::string file_name)
    : store_(store),
      table_(table),
      indexes_(indexes),
      counters_(counters),
      file_name_(std::move(file_name)),
      text_(store.format().version, store.header().code_page, file_name_),
      allocator_(store) {}

void TablePurge::Run() {
  RefuseForeignLongValuePages();
  // Long values: a column with its own LVAL maps has all its pages emptied; without maps
  // (older files, where LVAL pages may be shared) follow each row's pointers.
  std::vector<size_t> unmapped;
  for (size_t i = 0; i < table_.columns.size(); ++i) {
    const ColumnDefinition& column = table_.columns[i];
    if (!column.is_long_value()) continue;
    if (column.lval_owned_map.page.is_none()) {
      unmapped.push_back(i);
    } else {
      EmptyLongValuePages(column);
    }
  }
  if (!unmapped.empty()) FreeLongValuesOfRows(unmapped);
  EmptyDataPages();
  indexes_.Clear();
  counters_.set_row_count(0);
}

// The page's owner field is all that says whose a page is. A page a long-value map lists
// that is free in the global map was given back (maps may keep its bit), whatever stale bytes
// it holds; one in use must be a long-value page, not a table's data page, whose rows the
// purge would otherwise leave alone while the map still claimed it.
void TablePurge::RefuseForeignLongValuePages() {
  UsageMapEditor global(store_, kGlobalUsageMap);
  for (const ColumnDefinition& column : table_.columns) {
    if (!column.is_long_value() || column.lval_owned_map.page.is_none()) continue;
    for (PageNumber page_number : UsageMapEditor(store_, column.lval_owned_map).Pages()) {
      if (!store_.has_page(page_number) || global.Contains(page_number)) continue;
      const DataPage page(store_.ReadPage(page_number), store_.format());
      if (!page.is_data_page() || page.owner() == kLongValueOwner || page.owner() == 0) continue;
      FailOnTable(file_name_, table_,
                  "the long values of column \"" + ToUtf8(column.name) + "\" list page " +
                      std::to_string(page_number.value()) + ", a data page of the table defined at page " +
                      std::to_string(page.owner()) + ": the file is damaged, and nothing was deleted",
                  ErrorKind::Damaged);
    }
  }
}

void TablePurge::EmptyLongValuePages(const ColumnDefinition& column) {
  UsageMapEditor owned(store_, column.lval_owned_map);
  for (PageNumber page_number : owned.Pages()) {
    if (!store_.has_page(page_number)) continue;
    if (!DataPage(store_.ReadPage(page_number), store_.format()).owned_by(kLongValueOwner)) continue;
    CheckedDataPage page = CheckedDataPage::Check(store_, page_number, kLongValueOwner);
    if (page.slot_count() == 0) continue;
    page.Empty();
    if (!column.lval_free_map.page.is_none()) {
      UsageMapEditor(store_, column.lval_free_map, [this] { return allocator_.Allocate(); }).Add(page_number);
    }
  }
}

void TablePurge::FreeLongValuesOfRows(const std::vector<size_t>& positions) {
  UsageMapEditor owned(store_, table_.owned_pages);
  for (PageNumber page_number : owned.Pages()) {
    if (!store_.has_page(page_number)) continue;
    if (!DataPage(store_.ReadPage(page_number), store_.format()).owned_by(table_.tdef_page)) continue;
    const CheckedDataPage page = CheckedDataPage::Check(store_, page_number, table_.tdef_page.value());
    for (uint16_t slot = 0; slot < page.slot_count(); ++slot) {
      const SlotEntry entry = page.slot(slot);
      if (entry.flags != 0) continue;
      // A copy: freeing a long value may change this page.
      const std::vector<uint8_t> row(page.row_data(entry), page.row_data(entry) + (entry.end - entry.start));
      FreeLongValuesOf(row, positions);
    }
  }
}

void TablePurge::FreeLongValuesOf(const std::vector<uint8_t>& row, const std::vector<size_t>& positions) {
  CrackedRow cracked;
  // A row that does not decode would keep its long values for ever: refuse instead.
  CrackRow(store_.format(), table_.var_columns != 0, row.data(), row.size(), cracked, file_name_);
  for (size_t position : positions) {
    const uint8_t* field = nullptr;
    size_t size = 0;
    bool present = false;
    try {
      present = LocateField(cracked, table_.columns[position], &field, &size, file_name_);
    } catch (const Error&) {
    }
    if (present) FreeLongValue(store_, std::string_view(reinterpret_cast<const char*>(field), size));
  }
}

long TablePurge::DeleteRows(const RowSet& doomed) {
  std::vector<size_t> long_values;
  for (size_t i = 0; i < table_.columns.size(); ++i) {
    if (table_.columns[i].is_long_value()) long_values.push_back(i);
  }
  const std::vector<RowId> rows = ListLiveRows(store_, table_);
  long deleted = 0;
  for (RowId id : rows) {
    if (!doomed.contains(id)) continue;
    if (!long_values.empty()) {
      const RowSlot slot = ReadLiveRow(store_, id);
      // A copy: freeing a long value may change this page.
      FreeLongValuesOf(std::vector<uint8_t>(slot.data, slot.data + slot.size), long_values);
    }
    // A moved row's new place is flagged deleted already; its pointer goes with the slot.
    CheckedDataPage::Check(store_, id.page, table_.tdef_page.value()).DeleteRow(id.row);
    ++deleted;
  }
  indexes_.Clear();
  RowDecoder decoder(store_, table_, text_);
  CrackedRow cracked;
  std::vector<Value> values(table_.columns.size());
  for (RowId id : rows) {
    if (doomed.contains(id)) continue;
    {
      // The cracked row points into the slot's page: neither outlives this block.
      const RowSlot slot = ReadLiveRow(store_, id);
      decoder.Crack(slot.data, slot.size, cracked);
      for (const RealIndex& index : table_.real_indexes) {
        for (const IndexColumn& column : index.columns) {
          const int position = table_.PositionOfNumber(column.column_number);
          if (position >= 0) values[position] = decoder.Decode(cracked, position);
        }
      }
    }
    indexes_.AddAgain(values, id);
  }
  counters_.set_row_count(counters_.row_count() - static_cast<uint32_t>(deleted));
  return deleted;
}

void TablePurge::EmptyDataPages() {
  UsageMapEditor owned(store_, table_.owned_pages);
  for (PageNumber page_number : owned.Pages()) {
    if (!store_.has_page(page_number)) continue;
    if (!DataPage(store_.ReadPage(page_number), store_.format()).owned_by(table_.tdef_page)) continue;
    CheckedDataPage page = CheckedDataPage::Check(store_, page_number, table_.tdef_page.value());
    if (page.slot_count() == 0) continue;
    page.Empty();
    if (!table_.free_space_pages.page.is_none()) {
      UsageMapEditor(store_, table_.free_space_pages, [this] { return allocator_.Allocate(); }).Add(page_number);
    }
  }
}

}  // namespace engine::jet
