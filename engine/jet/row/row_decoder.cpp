// Value decoding: see row_decoder.h.
#include "engine/jet/row/row_decoder.h"

#include <cstring>
#include <string>

#include "engine/base/bytes.h"
#include "engine/jet/format/byte_reader.h"
#include "engine/jet/row/decimal_field.h"
#include "engine/jet/page/long_value.h"

namespace engine::jet {

Value DecodeFixedValue(const ColumnDefinition& column, const uint8_t* p) {
  const ColumnType type = column.type;
  switch (type) {
    case ColumnType::Byte: return Value::Integer(p[0]);
    case ColumnType::Integer: return Value::Integer(static_cast<int16_t>(GetU16(p)));
    case ColumnType::Long: return Value::Integer(static_cast<int32_t>(GetU32(p)));
    case ColumnType::Money: return Value::Money(Currency{static_cast<int64_t>(GetU64(p))});
    case ColumnType::Float: return Value::Single(GetF32(p));
    case ColumnType::Double: return Value::Double(GetF64(p));
    case ColumnType::DateTime: return Value::DateTime(Date{GetF64(p)});
    case ColumnType::Guid: {
      Guid guid;
      std::memcpy(guid.bytes.data(), p, guid.bytes.size());
      return Value::Id(guid);
    }
    case ColumnType::Numeric: return Value::Numeric(DecodeDecimalField(p, column.scale));
    default: return Value::Null();
  }
}

RowDecoder::RowDecoder(PageStore& pager, const TableDefinition& table, const TextDecoder& text)
    : pager_(pager), format_(FormatOf(table.version)), file_name_(pager.file_name()), table_(table), text_(text) {}

void RowDecoder::Crack(const uint8_t* data, size_t size, CrackedRow& row) const {
  CrackRow(format_, table_.var_columns != 0, data, size, row, file_name_);
}

bool RowDecoder::FieldBytes(const CrackedRow& row, int position, const uint8_t** bytes, size_t* size) const {
  return LocateField(row, table_.columns[position], bytes, size, file_name_);
}

Value RowDecoder::Decode(const CrackedRow& row, int position) const {
  Value value;
  DecodeInto(row, position, value);
  return value;
}

void RowDecoder::DecodeInto(const CrackedRow& row, int position, Value& value) const {
  const ColumnDefinition& column = table_.columns[position];
  if (column.type == ColumnType::Boolean) {
    value = Value::Flag(FieldPresent(row, column.number));
    return;
  }
  const uint8_t* bytes;
  size_t size;
  if (!LocateField(row, column, &bytes, &size, file_name_)) {
    if (!value.is_null()) value = Value::Null();
    return;
  }
  switch (column.type) {
    case ColumnType::Text: text_.DecodeInto(bytes, size, value.TextToFill()); return;
    case ColumnType::Binary: value = Value::Bytes(BinaryData(bytes, bytes + size)); return;
    case ColumnType::Memo:
      ReadLongValue(pager_, bytes, size, long_value_);
      text_.DecodeInto(long_value_.data(), long_value_.size(), value.TextToFill());
      return;
    case ColumnType::Ole:
      ReadLongValue(pager_, bytes, size, long_value_);
      value = Value::Bytes(long_value_);
      return;
    default: {
      const size_t needed = FixedSizeOf(column.type);
      if (needed == 0) {  // a type this program does not know
        value = Value::Bytes(BinaryData(bytes, bytes + size));
        return;
      }
      if (size < needed) pager_.Damaged("a value is shorter than its type");
      value = DecodeFixedValue(column, bytes);
    }
  }
}

}  // namespace engine::jet
