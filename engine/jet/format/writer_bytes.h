// Little-endian field access and the Jet 4 data page constants the writer shares.
// Data page: 01 01, u16 free space @2, u32 owner TDEF page @4, u32 0 @8, u16 slot count @12,
// u16 slots @14 (bits 0..12 row start; 0x8000 deleted; 0x4000 overflow).
#pragma once

#include <cstddef>
#include <cstdint>

namespace engine::jet {

inline uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline uint32_t GetU24(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16);
}
inline void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline constexpr uint8_t kDataPageType = 0x01;
inline constexpr size_t kDataPageFreeSpace = 2;
inline constexpr size_t kDataPageOwner = 4;
inline constexpr size_t kDataPageSlotCount = 12;
inline constexpr size_t kDataPageSlots = 14;  // also the Jet 4 data page header size
inline constexpr uint16_t kRowStartMask = 0x1FFF;
inline constexpr uint16_t kRowDeletedFlag = 0x8000;
inline constexpr uint16_t kRowOverflowFlag = 0x4000;
inline constexpr size_t kMaxRowsPerDataPage = 255;
inline constexpr size_t kMaxRowSize = 4060;

}  // namespace engine::jet
