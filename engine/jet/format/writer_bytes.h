// The Jet 4 data page constants the writer shares.
// Data page: 01 01, u16 free space @2, u32 owner TDEF page @4, u32 0 @8, u16 slot count @12,
// u16 slots @14 (bits 0..12 row start; 0x8000 deleted; 0x4000 overflow).
// Layout: FORMAT.md, "Data pages".
#pragma once

#include <cstddef>
#include <cstdint>

namespace engine::jet {

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
