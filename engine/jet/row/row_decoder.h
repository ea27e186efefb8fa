// Decoding the values of one row, whose frame row_frame.h reads.
// Layout: FORMAT.md, "Values in rows" (little-endian numbers, dates as double days since
// 1899-12-30, currency as i64 ten-thousandths) and "Text".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/jet/storage/page_store.h"
#include "engine/jet/format/table_definition.h"
#include "engine/jet/row/row_frame.h"
#include "engine/jet/row/text_codec.h"
#include "engine/value/value.h"

namespace engine::jet {

class RowDecoder {
 public:
  RowDecoder(PageStore& pager, const TableDefinition& table, const TextDecoder& text);

  // Reads a row's frame; throws when its counts or offsets do not fit the row.
  void Crack(const uint8_t* data, size_t size, CrackedRow& row) const;

  // The value of the column at `position` (in TableDefinition::columns).
  Value Decode(const CrackedRow& row, int position) const;
  // The same value into `value`, whose storage a text reuses.
  void DecodeInto(const CrackedRow& row, int position, Value& value) const;

  // The stored bytes of a column's value, false when it is Null (booleans: never called).
  bool FieldBytes(const CrackedRow& row, int position, const uint8_t** bytes, size_t* size) const;

 private:
  PageStore& pager_;
  // Asked of the store once: every value read passes them on, and the store's file_name()
  // is a virtual call.
  const JetFormat& format_;
  const std::string& file_name_;
  const TableDefinition& table_;
  const TextDecoder& text_;
  mutable std::vector<uint8_t> long_value_;  // scratch for memo/OLE reads
};

// Decodes a value of a fixed-width column (the bytes must be at least FixedSizeOf(type) long);
// a decimal takes the column's scale.
Value DecodeFixedValue(const ColumnDefinition& column, const uint8_t* bytes);

}  // namespace engine::jet
