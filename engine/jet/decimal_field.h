// A decimal (NUMERIC) value as a Jet 4 row stores it, 17 bytes:
//   u8 sign (0x80 negative, 0x00 otherwise) | magnitude as four u32 little-endian words,
//   the most significant word first
// Access fills only the low 96 bits. The scale is not stored with the value: it is the
// column's (descriptor bytes 11 and 12: precision, scale).
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/value.h"

namespace engine::jet {

inline constexpr size_t kDecimalFieldSize = 1 + 4 * 4;  // sign byte + four 32-bit words
inline constexpr uint8_t kMaxDecimalPrecision = 28;     // digits, the most that fit in 96 bits

// The value of the 17 bytes at `bytes`, with the column's scale.
Decimal DecodeDecimalField(const uint8_t* bytes, uint8_t scale);

// The 17 bytes of `value` (already at its column's scale).
void EncodeDecimalField(const Decimal& value, uint8_t* bytes);

}  // namespace engine::jet
