// Jet 3 stores text as single bytes in the database's code page (header offset 0x3C). These
// helpers turn such bytes into UTF-16 for the Windows code pages Jet 3 files declare:
// 874 (Thai) and 1250-1258.
// Layout: FORMAT.md, "Text".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace engine::jet {

// The 128 characters of bytes 0x80..0xFF in that code page, or nullptr for a code page this
// program cannot read (the multi-byte Asian ones).
const char16_t* UpperHalfOf(uint16_t code_page);

std::u16string DecodeSingleByte(const char16_t* upper_half, const uint8_t* bytes, size_t length);

}  // namespace engine::jet
