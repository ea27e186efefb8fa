#include "engine/jet/table/index_column_names.h"

#include "engine/text/utf.h"

namespace engine::jet {

std::string IndexColumnNames(const TableDefinition& table, const RealIndex& index) {
  std::string names;
  for (const IndexColumn& column : index.columns) {
    const int position = table.PositionOfNumber(column.column_number);
    if (position < 0) continue;
    if (!names.empty()) names += ", ";
    names += "\"" + ToUtf8(table.columns[position].name) + "\"";
  }
  return names;
}

}  // namespace engine::jet
