// Writing a prepared row: its long values (inline while the row stays within a page, else on
// LVAL pages), the row on a data page, its entries in every index, and the TDEF counters
// (row count, last autonumber, unique-entry counts). Every check was made by Prepare.
#include "engine/jet/page/long_value_writer.h"
#include "engine/jet/row/row_encoder.h"
#include "engine/jet/table/table_writer.h"

namespace engine::jet {

std::string TableWriter::EncodeLongValue(size_t position, const Value& value, bool may_inline) {
  const ColumnDefinition& column = table_.columns[position];
  std::string data;
  if (column.type == ColumnType::Memo) {
    data = EncodeText(column, value.text());
  } else {
    data.assign(value.binary().begin(), value.binary().end());
  }
  LongValueWriter writer(store_, allocator_, column);
  return writer.Write(data, may_inline);
}

RowId TableWriter::Store(PreparedRow prepared) {
  std::vector<EncodedField>& fields = prepared.fields;
  size_t row_size = prepared.row_size;
  bool has_long_values = false;
  for (size_t position = 0; position < table_.columns.size(); ++position) {
    if (!table_.columns[position].is_long_value() || !fields[position].present) continue;
    has_long_values = true;
    // Short values go inline while the row stays within a page.
    const Value& value = prepared.values[position];
    const size_t length = table_.columns[position].type == ColumnType::Memo
                              ? EncodeText(table_.columns[position], value.text()).size()
                              : value.binary().size();
    const bool may_inline = length <= kMaxInlineLongValue && row_size + length <= kMaxRowSize;
    if (may_inline) row_size += length;
    fields[position].bytes = EncodeLongValue(position, value, may_inline);
  }
  // Without long values the row is as Prepare measured it; with them, their fields now hold
  // the written values (inline data or a pointer) and the row is encoded again.
  if (has_long_values) prepared.row_bytes = EncodeRow(table_, fields);
  const RowId row = placer_.Place(prepared.row_bytes);

  for (size_t i = 0; i < table_.real_indexes.size(); ++i) {
    if (!prepared.keys[i]) continue;
    if (Tree(i).Insert(*prepared.keys[i], row)) counters_.AddUniqueEntry(table_.real_indexes[i]);
    matching_rows_[i].insert(row);
  }
  counters_.set_row_count(counters_.row_count() + 1);
  if (prepared.new_autonumber && *prepared.new_autonumber > counters_.last_autonumber()) {
    counters_.set_last_autonumber(*prepared.new_autonumber);
  }
  return row;
}

}  // namespace engine::jet
