// Fixed-size integers and floating-point numbers in byte buffers. Jet pages, compound files and
// BIFF records store their numbers little-endian; Jet index keys store row pointers big-endian.
// Callers check bounds first (engine/jet/format/byte_reader.h does it for Jet pages). Written
// byte by byte so that they work at any alignment on any host; compilers make each one load.
#pragma once

#include <cstdint>
#include <cstring>

namespace engine {

inline uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetU24(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16);
}
inline uint32_t GetU32(const uint8_t* p) { return GetU24(p) | (static_cast<uint32_t>(p[3]) << 24); }
inline uint64_t GetU64(const uint8_t* p) { return GetU32(p) | (static_cast<uint64_t>(GetU32(p + 4)) << 32); }

inline float GetF32(const uint8_t* p) {
  const uint32_t bits = GetU32(p);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}
inline double GetF64(const uint8_t* p) {
  const uint64_t bits = GetU64(p);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

inline void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU24(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
}
inline void PutU32(uint8_t* p, uint32_t v) {
  PutU24(p, v);
  p[3] = static_cast<uint8_t>(v >> 24);
}
inline void PutU64(uint8_t* p, uint64_t v) {
  PutU32(p, static_cast<uint32_t>(v));
  PutU32(p + 4, static_cast<uint32_t>(v >> 32));
}

inline uint32_t GetBigEndianU24(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
}
inline uint32_t GetBigEndianU32(const uint8_t* p) { return (GetBigEndianU24(p) << 8) | p[3]; }
inline void PutBigEndianU24(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 16);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v);
}
inline void PutBigEndianU32(uint8_t* p, uint32_t v) {
  PutBigEndianU24(p, v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

}  // namespace engine
