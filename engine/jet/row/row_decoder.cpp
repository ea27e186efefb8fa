// Row frames and value decoding: see row_decoder.h for the bytes.
#include "engine/jet/row/row_decoder.h"

#include <cstring>
#include <string>

#include "engine/bytes.h"
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
    : pager_(pager), table_(table), text_(text) {}

void RowDecoder::Crack(const uint8_t* data, size_t size, CrackedRow& row) const {
  row.data = data;
  row.size = size;
  row.var_offsets.clear();
  if (table_.version == JetVersion::Jet4) {
    CrackJet4(row);
  } else {
    CrackJet3(row);
  }
}

void RowDecoder::CrackJet4(CrackedRow& row) const {
  const uint8_t* d = row.data;
  const size_t size = row.size;
  if (size < 2) pager_.Damaged("a row is too short");
  row.column_count = GetU16(d);
  const size_t mask = (row.column_count + 7) / 8;
  if (size < 2 + mask) pager_.Damaged("a row is too short for its columns");
  row.null_mask = d + size - mask;
  row.fixed_start = 2;
  if (table_.var_columns == 0) {
    row.data_end = size - mask;
    return;
  }
  if (size < 2 + mask + 4) pager_.Damaged("a row is too short for its columns");
  const size_t count = GetU16(d + size - mask - 2);
  if (size < 2 + mask + 4 + 2 * count) pager_.Damaged("a row has more variable columns than bytes");
  row.data_end = size - mask - 4 - 2 * count;
  row.var_offsets.resize(count + 1);
  for (size_t v = 0; v <= count; ++v) {
    const uint32_t offset = GetU16(d + size - mask - 4 - 2 * v);
    if (offset > row.data_end) pager_.Damaged("a row's column lies past its end");
    row.var_offsets[v] = offset;
  }
}

void RowDecoder::CrackJet3(CrackedRow& row) const {
  const uint8_t* d = row.data;
  const size_t size = row.size;
  if (size < 1) pager_.Damaged("a row is too short");
  row.column_count = d[0];
  const size_t mask = (row.column_count + 7) / 8;
  if (size < 1 + mask) pager_.Damaged("a row is too short for its columns");
  row.null_mask = d + size - mask;
  row.fixed_start = 1;
  if (table_.var_columns == 0) {
    row.data_end = size - mask;
    return;
  }
  if (size < 1 + mask + 2) pager_.Damaged("a row is too short for its columns");
  const size_t count = d[size - mask - 1];
  // One jump byte per 256 bytes of row; each names the first slot whose offset needs one more
  // multiple of 256.
  const size_t jumps_in_row = (size - 1) / 256;
  if (size < mask + 2 + jumps_in_row + count + 1) pager_.Damaged("a row has more variable columns than bytes");
  const size_t first_offset = size - mask - 2 - jumps_in_row;  // off[0]; off[i] at first_offset - i
  size_t jumps = jumps_in_row;
  if ((first_offset - count) / 256 < jumps_in_row) --jumps;  // the last jump byte is a filler
  row.data_end = first_offset - count;
  row.var_offsets.resize(count + 1);
  size_t used = 0;
  for (size_t i = 0; i <= count; ++i) {
    while (used < jumps && d[size - mask - 2 - used] == i) ++used;
    const uint32_t offset = d[first_offset - i] + 256 * static_cast<uint32_t>(used);
    if (offset > row.data_end) pager_.Damaged("a row's column lies past its end");
    row.var_offsets[i] = offset;
  }
}

bool RowDecoder::Present(const CrackedRow& row, uint16_t number) const {
  if (number >= row.column_count) return false;
  return (row.null_mask[number >> 3] >> (number & 7)) & 1;
}

bool RowDecoder::FieldBytes(const CrackedRow& row, int position, const uint8_t** bytes, size_t* size) const {
  const ColumnDefinition& column = table_.columns[position];
  if (!Present(row, column.number)) return false;
  if (column.is_fixed()) {
    size_t length = FixedSizeOf(column.type);
    if (length == 0) length = column.length;
    const size_t start = row.fixed_start + column.fixed_offset;
    if (start + length > row.data_end) pager_.Damaged("a row is shorter than its fixed columns");
    *bytes = row.data + start;
    *size = length;
    return true;
  }
  const size_t slot = column.var_index;
  if (slot + 1 >= row.var_offsets.size()) return false;  // column added after the row was written
  const uint32_t start = row.var_offsets[slot];
  const uint32_t end = row.var_offsets[slot + 1];
  if (start > end || start < row.fixed_start) pager_.Damaged("a row's column offsets are out of order");
  *bytes = row.data + start;
  *size = end - start;
  return true;
}

Value RowDecoder::Decode(const CrackedRow& row, int position) const {
  const ColumnDefinition& column = table_.columns[position];
  if (column.type == ColumnType::Boolean) return Value::Flag(Present(row, column.number));
  const uint8_t* bytes;
  size_t size;
  if (!FieldBytes(row, position, &bytes, &size)) return Value::Null();
  switch (column.type) {
    case ColumnType::Text: return Value::Text(text_.Decode(bytes, size));
    case ColumnType::Binary: return Value::Bytes(Binary(bytes, bytes + size));
    case ColumnType::Memo:
      ReadLongValue(pager_, bytes, size, long_value_);
      return Value::Text(text_.Decode(long_value_.data(), long_value_.size()));
    case ColumnType::Ole:
      ReadLongValue(pager_, bytes, size, long_value_);
      return Value::Bytes(long_value_);
    default: {
      const size_t needed = FixedSizeOf(column.type);
      if (needed == 0) return Value::Bytes(Binary(bytes, bytes + size));  // a type this program does not know
      if (size < needed) pager_.Damaged("a value is shorter than its type");
      return DecodeFixedValue(column, bytes);
    }
  }
}

}  // namespace engine::jet
