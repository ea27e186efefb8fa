// Decimal fields of Jet 4 rows: see decimal_field.h for the bytes.
#include "engine/jet/decimal_field.h"

#include "engine/jet/byte_reader.h"
#include "engine/jet/writer_bytes.h"

namespace engine::jet {
namespace {

constexpr uint8_t kNegative = 0x80;
constexpr int kWords = 4;

}  // namespace

Decimal DecodeDecimalField(const uint8_t* bytes, uint8_t scale) {
  Decimal d;
  unsigned __int128 magnitude = 0;
  for (int word = 0; word < kWords; ++word) magnitude = (magnitude << 32) | LoadU32(bytes + 1 + 4 * word);
  d.magnitude = magnitude;
  // Any non-zero sign byte is read as negative, as the other readers do; zero is never negative.
  d.negative = bytes[0] != 0 && magnitude != 0;
  d.scale = scale;
  return d;
}

void EncodeDecimalField(const Decimal& value, uint8_t* bytes) {
  bytes[0] = value.negative && value.magnitude != 0 ? kNegative : 0;
  for (int word = 0; word < kWords; ++word) {
    PutU32(bytes + 1 + 4 * word, static_cast<uint32_t>(value.magnitude >> (32 * (kWords - 1 - word))));
  }
}

}  // namespace engine::jet
