// A decimal (NUMERIC) value as a Jet 4 row stores it, 17 bytes:
//   u8 sign (0x80 negative, 0x00 otherwise) | magnitude as four u32 little-endian words,
//   the most significant word first
// Access fills only the low 96 bits. The scale is not stored with the value: it is the
// column's (descriptor bytes 11 and 12: precision, scale). Both functions are inline: the
// decoder sits on the path of every value read.
// Layout: FORMAT.md, "Decimal (NUMERIC) values".
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/base/bytes.h"
#include "engine/jet/format/byte_reader.h"
#include "engine/jet/format/column_type.h"
#include "engine/value/value.h"

namespace engine::jet {

inline constexpr size_t kDecimalFieldSize = FixedSizeOf(ColumnType::Numeric);
inline constexpr uint8_t kMaxDecimalPrecision = 28;     // digits, the most that fit in 96 bits
inline constexpr uint8_t kDecimalNegativeSign = 0x80;

// The value of the 17 bytes at `bytes`, with the column's scale. Any non-zero sign byte reads
// as negative, as the other readers take it; a zero is never negative.
inline Decimal DecodeDecimalField(const uint8_t* bytes, uint8_t scale) {
  const uint64_t high = (static_cast<uint64_t>(GetU32(bytes + 1)) << 32) | GetU32(bytes + 5);
  const uint64_t low = (static_cast<uint64_t>(GetU32(bytes + 9)) << 32) | GetU32(bytes + 13);
  Decimal d;
  d.magnitude = (static_cast<unsigned __int128>(high) << 64) | low;
  d.negative = bytes[0] != 0 && d.magnitude != 0;
  d.scale = scale;
  return d;
}

// The 17 bytes of `value` (already at its column's scale).
inline void EncodeDecimalField(const Decimal& value, uint8_t* bytes) {
  bytes[0] = value.negative && value.magnitude != 0 ? kDecimalNegativeSign : 0;
  PutU32(bytes + 1, static_cast<uint32_t>(value.magnitude >> 96));
  PutU32(bytes + 5, static_cast<uint32_t>(value.magnitude >> 64));
  PutU32(bytes + 9, static_cast<uint32_t>(value.magnitude >> 32));
  PutU32(bytes + 13, static_cast<uint32_t>(value.magnitude));
}

}  // namespace engine::jet
