#include "engine/jet/table/row_store.h"

#include "engine/base/error.h"
#include "engine/jet/table/table_error.h"

namespace engine::jet {

RowStore::RowStore(PageStore& store, const TableDefinition& table, std::string file_name)
    : store_(store),
      table_(table),
      file_name_(std::move(file_name)),
      allocator_(store),
      placer_(store, allocator_, table.tdef_page.value(), table.owned_pages, table.free_space_pages),
      long_values_(table.columns.size()) {}

void RowStore::ForgetCachedPages() {
  placer_.ForgetHint();
  for (std::unique_ptr<LongValueWriter>& writer : long_values_) {
    if (writer) writer->ForgetHint();
  }
}

RowStore::EncodedRow RowStore::Encode(const std::vector<Value>& values) const {
  EncodedRow row;
  std::vector<EncodedField>& fields = row.fields;
  fields.resize(table_.columns.size());
  for (size_t i = 0; i < table_.columns.size(); ++i) {
    const ColumnDefinition& column = table_.columns[i];
    const Value& value = values[i];
    if (column.type == ColumnType::Boolean) {
      fields[i].present = value.flag();
      continue;
    }
    if (value.is_null()) continue;
    fields[i].present = true;
    if (column.is_long_value()) {
      fields[i].bytes.assign(kLongValueHeaderSize, '\0');
    } else if (column.type == ColumnType::Text) {
      fields[i].bytes = EncodeText(column, value.text());
    } else if (column.type == ColumnType::Binary) {
      fields[i].bytes.assign(value.binary().begin(), value.binary().end());
    } else {
      fields[i].bytes = EncodeFixedValue(column, value);
    }
  }
  try {
    row.bytes = EncodeRow(table_, fields);
    row.size = row.bytes.size();
  } catch (const Error& error) {
    FailOnTable(file_name_, table_, error.reason(), error.kind());
  }
  return row;
}

std::string RowStore::WriteLongValue(size_t position, const Value& value, bool may_inline) {
  const ColumnDefinition& column = table_.columns[position];
  std::string data;
  if (column.type == ColumnType::Memo) {
    data = EncodeText(column, value.text());
  } else {
    data.assign(value.binary().begin(), value.binary().end());
  }
  std::unique_ptr<LongValueWriter>& writer = long_values_[position];
  if (!writer) writer = std::make_unique<LongValueWriter>(store_, allocator_, column);
  return writer->Write(data, may_inline);
}

RowId RowStore::Write(const std::vector<Value>& values, EncodedRow&& row) {
  std::vector<EncodedField>& fields = row.fields;
  size_t row_size = row.size;
  bool has_long_values = false;
  for (size_t position = 0; position < table_.columns.size(); ++position) {
    if (!table_.columns[position].is_long_value() || !fields[position].present) continue;
    has_long_values = true;
    // Short values go inline while the row stays within a page.
    const Value& value = values[position];
    const size_t length = table_.columns[position].type == ColumnType::Memo
                              ? EncodeText(table_.columns[position], value.text()).size()
                              : value.binary().size();
    const bool may_inline = length <= kMaxInlineLongValue && row_size + length <= store_.format().max_row_size;
    if (may_inline) row_size += length;
    fields[position].bytes = WriteLongValue(position, value, may_inline);
  }
  // Without long values the row is as Encode measured it; with them, their fields now hold
  // the written values (inline data or a pointer) and the row is encoded again.
  if (has_long_values) row.bytes = EncodeRow(table_, fields);
  return placer_.Place(row.bytes);
}

}  // namespace engine::jet
