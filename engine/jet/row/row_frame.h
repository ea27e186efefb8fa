// The frame of a row, read by RowDecoder and written by EncodeRow (FORMAT.md, "Rows"). From
// the row's first byte: the column count it was written with (u8 in Jet 3, u16 in Jet 4), the
// fixed area, the variable data. From its last byte backwards: the null mask (one bit per
// column number, LSB first, 1 = present; a yes/no column's bit is its value and it has no
// bytes), and when the table has variable columns the variable slot count n and n + 1
// offsets: slot 0's start nearest the count, the end of the variable data last. Jet 3 stores
// the count and the offsets in single bytes, with a jump table for the multiples of 256;
// this engine writes Jet 4 rows only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/jet/format/byte_reader.h"
#include "engine/jet/format/format.h"
#include "engine/jet/format/table_definition.h"

namespace engine::jet {

// Bytes of the null mask of a row written with that many columns.
constexpr size_t NullMaskSize(size_t column_count) { return (column_count + 7) / 8; }

// The parsed frame of one row: where the null mask and the variable offsets are.
struct CrackedRow {
  const uint8_t* data = nullptr;
  size_t size = 0;
  uint32_t column_count = 0;     // columns the row was written with
  const uint8_t* null_mask = nullptr;
  size_t fixed_start = 0;        // first byte of the fixed area
  size_t data_end = 0;           // first byte of the trailer (offsets, mask)
  std::vector<uint32_t> var_offsets;  // slot v spans [v, v + 1); the last entry is the end of data
};

// Reads a row's frame; throws engine::Error (damaged, naming `file`) when its counts or
// offsets do not fit the row. `has_var_columns`: the table has variable-length columns.
void CrackRow(const JetFormat& format, bool has_var_columns, const uint8_t* data, size_t size, CrackedRow& row,
              const std::string& file);

// Whether the null mask marks the column with that number present (a yes/no column: its value).
inline bool FieldPresent(const CrackedRow& row, uint16_t number) {
  if (number >= row.column_count) return false;
  return (row.null_mask[number >> 3] >> (number & 7)) & 1;
}

// The stored bytes of a column's value; false when it is Null or the row was written before
// the column was added. Throws engine::Error (damaged) when the row cannot hold them.
// Not for yes/no columns. Inline: it is on the path of every value read.
inline bool LocateField(const CrackedRow& row, const ColumnDefinition& column, const uint8_t** bytes, size_t* size,
                        const std::string& file) {
  if (!FieldPresent(row, column.number)) return false;
  if (column.is_fixed()) {
    size_t length = FixedSizeOf(column.type);
    if (length == 0) length = column.length;
    const size_t start = row.fixed_start + column.fixed_offset;
    if (start + length > row.data_end) ThrowDamaged(file, "a row is shorter than its fixed columns");
    *bytes = row.data + start;
    *size = length;
    return true;
  }
  const size_t slot = column.var_index;
  if (slot + 1 >= row.var_offsets.size()) return false;  // column added after the row was written
  const uint32_t start = row.var_offsets[slot];
  const uint32_t end = row.var_offsets[slot + 1];
  if (start > end || start < row.fixed_start) ThrowDamaged(file, "a row's column offsets are out of order");
  *bytes = row.data + start;
  *size = end - start;
  return true;
}

// One column's contribution to a row: whether it is present (not Null; for yes/no columns
// the value itself) and its bytes (fixed columns: exactly the column's length).
struct EncodedField {
  bool present = false;
  std::string bytes;
};

// A Jet 4 row's bytes; `fields` is indexed by position in table.columns. Throws engine::Error
// when the row is longer than a data page can hold.
std::string EncodeRow(const TableDefinition& table, const std::vector<EncodedField>& fields);

}  // namespace engine::jet
