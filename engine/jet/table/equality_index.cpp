#include "engine/jet/table/equality_index.h"

#include "engine/jet/index/sort_key.h"

namespace engine::jet {

std::optional<size_t> TextEqualityIndex(const TableDefinition& table, int position) {
  if (position < 0 || static_cast<size_t>(position) >= table.columns.size()) return std::nullopt;
  const ColumnDefinition& column = table.columns[position];
  if (column.type != ColumnType::Text) return std::nullopt;
  for (size_t i = 0; i < table.real_indexes.size(); ++i) {
    const RealIndex& index = table.real_indexes[i];
    if (index.columns.size() == 1 && index.columns[0].column_number == column.number && !index.root_page.is_none() &&
        IndexSortOrdersKnown(table, index)) {
      return i;
    }
  }
  return std::nullopt;
}

}  // namespace engine::jet
