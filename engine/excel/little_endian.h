// Little-endian integers and doubles read from byte buffers: every number in a compound file
// and in a BIFF record is stored this way. Callers check bounds before reading.
#pragma once

#include <cstdint>
#include <cstring>

namespace engine::excel {

inline uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t ReadU64(const uint8_t* p) { return ReadU32(p) | (static_cast<uint64_t>(ReadU32(p + 4)) << 32); }

inline double ReadF64(const uint8_t* p) {
  uint64_t bits = ReadU64(p);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace engine::excel
