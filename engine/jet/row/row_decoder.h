// Decoding the fields of one row. Jet 4 row, from its first byte: u16 column count, the
// fixed area, the variable data, then from the end backwards: the null mask (one bit per
// column number, 1 = present), u16 variable slot count n, n u16 offsets (slot 0 last in
// the file), u16 end of variable data. Jet 3 uses single bytes for the count and the offsets
// and a jump table for the multiples of 256. Booleans live only in the null mask.
// Values are encoded as in the type table of the format notes (little-endian numbers, dates
// as double days since 1899-12-30, currency as i64 ten-thousandths).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/jet/storage/page_store.h"
#include "engine/jet/format/table_definition.h"
#include "engine/jet/row/text_codec.h"
#include "engine/value.h"

namespace engine::jet {

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

class RowDecoder {
 public:
  RowDecoder(PageStore& pager, const TableDefinition& table, const TextDecoder& text);

  // Reads a row's frame; throws when its counts or offsets do not fit the row.
  void Crack(const uint8_t* data, size_t size, CrackedRow& row) const;

  // The value of the column at `position` (in TableDefinition::columns).
  Value Decode(const CrackedRow& row, int position) const;

  // The stored bytes of a column's value, false when it is Null (booleans: never called).
  bool FieldBytes(const CrackedRow& row, int position, const uint8_t** bytes, size_t* size) const;

 private:
  void CrackJet3(CrackedRow& row) const;
  void CrackJet4(CrackedRow& row) const;
  bool Present(const CrackedRow& row, uint16_t number) const;

  PageStore& pager_;
  const TableDefinition& table_;
  const TextDecoder& text_;
  mutable std::vector<uint8_t> long_value_;  // scratch for memo/OLE reads
};

// Decodes a value of a fixed-width column (the bytes must be at least FixedSizeOf(type) long);
// a decimal takes the column's scale.
Value DecodeFixedValue(const ColumnDefinition& column, const uint8_t* bytes);

}  // namespace engine::jet
