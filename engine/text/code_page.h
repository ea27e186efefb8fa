// Texts stored as bytes of a Windows code page: Jet 3 databases name theirs in the header page,
// BIFF5 workbooks in their CODEPAGE record. The single-byte Windows code pages (874 and
// 1250-1258) decode through tables; any other goes through the C library's iconv.
// Layouts: jet/FORMAT.md, "Text"; excel/FORMAT.md, layer "code pages".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace engine {

// The 128 characters of bytes 0x80..0xFF in a single-byte Windows code page (0, unset, counts
// as 1252), or nullptr for any other code page. Bytes the code page leaves undefined read as
// U+FFFD; bytes below 0x80 are ASCII in all of them.
const char16_t* UpperHalfOf(uint16_t code_page);

std::u16string DecodeSingleByte(const char16_t* upper_half, const uint8_t* bytes, size_t length);

// The other way: the byte a single-byte code page stores for a UTF-16 unit, or '?' when it has
// none (a unit it cannot hold, an unpaired surrogate). U+FFFD gives the first byte the code
// page leaves undefined, when it has one, so that what was read is written back as read.
// Jet 3 rows hold texts so, and their index keys are made from the same bytes.
uint8_t SingleByteOf(const char16_t* upper_half, char16_t unit);

// Decodes bytes of any code page a workbook may name, Excel's own numbers for Latin-1 and Mac
// Roman included (1252 when iconv does not know it). Bytes without a character in it become
// U+FFFD.
std::u16string DecodeCodePage(std::string_view bytes, uint16_t code_page);

}  // namespace engine
