// A new row's fields as they will be stored, and the row's size with every long value at its
// largest footprint in the row (a bare header): a row too big for a page is refused here,
// before anything is written. The long values themselves are written by Store.
#include "engine/error.h"
#include "engine/jet/page/long_value_writer.h"
#include "engine/jet/row/row_encoder.h"
#include "engine/jet/table/table_writer.h"

namespace engine::jet {

void TableWriter::EncodeFields(PreparedRow& prepared) {
  std::vector<EncodedField>& fields = prepared.fields;
  fields.resize(table_.columns.size());
  for (size_t i = 0; i < table_.columns.size(); ++i) {
    const ColumnDefinition& column = table_.columns[i];
    const Value& value = prepared.values[i];
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
    prepared.row_bytes = EncodeRow(table_, fields);
    prepared.row_size = prepared.row_bytes.size();
  } catch (const Error& error) {
    Fail(error.reason(), error.kind());
  }
}

}  // namespace engine::jet
