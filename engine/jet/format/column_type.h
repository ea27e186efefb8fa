// The column data types of a column descriptor and the bytes a value of each fixed-width type
// takes in a row (FORMAT.md, "Values in rows").
#pragma once

#include <cstddef>
#include <cstdint>

namespace engine::jet {

enum class JetVersion { Jet3, Jet4 };

enum class ColumnType : uint8_t {
  Boolean = 0x01,  // held in the row's null mask, no bytes of its own
  Byte = 0x02,
  Integer = 0x03,
  Long = 0x04,
  Money = 0x05,
  Float = 0x06,   // single
  Double = 0x07,
  DateTime = 0x08,
  Binary = 0x09,
  Text = 0x0A,
  Ole = 0x0B,
  Memo = 0x0C,
  Guid = 0x0F,
  Numeric = 0x10,
  Complex = 0x12,  // ACE only; refused
};

// Bytes a value of that type takes in the fixed area (the length a new column declares; a
// yes/no column declares 1 though its value lives in the null mask); 0 for types whose length
// the column gives (text, binary, memo, OLE) and for types this engine does not know.
constexpr size_t FixedSizeOf(ColumnType type) {
  switch (type) {
    case ColumnType::Boolean:
    case ColumnType::Byte: return 1;
    case ColumnType::Integer: return 2;
    case ColumnType::Long:
    case ColumnType::Float: return 4;
    case ColumnType::Money:
    case ColumnType::Double:
    case ColumnType::DateTime: return 8;
    case ColumnType::Guid: return 16;
    case ColumnType::Numeric: return 17;  // sign byte and four 32-bit words
    default: return 0;
  }
}

}  // namespace engine::jet
