// Texts stored as bytes of a Windows code page: Jet 3 databases name theirs in the header page,
// BIFF5 workbooks in their CODEPAGE record. The single-byte Windows code pages (874 and
// 1250-1258) decode through tables; any other goes through the C library's iconv.
// Layouts: jet/FORMAT.md, "Text"; excel/FORMAT.md, layer "code pages".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace engine {

// The 128 characters of bytes 0x80..0xFF in a single-byte Windows code page (0, unset, counts
// as 1252), or nullptr for any other code page. Bytes the code page leaves undefined read as
// U+FFFD; bytes below 0x80 are ASCII in all of them.
const char16_t* UpperHalfOf(uint16_t code_page);

std::u16string DecodeSingleByte(const char16_t* upper_half, const uint8_t* bytes, size_t length);

// The byte a single-byte code page holds for a UTF-16 unit, or '?' when it has none. U+FFFD
// gives the first byte the code page leaves undefined, when it has one, so that a text read
// from such a byte keys as that byte. Jet 3 index keys are made so; a new text is first made
// what its code page holds (ReplacedInSingleByte), so its key and its row's bytes agree.
uint8_t SingleByteOf(const char16_t* upper_half, char16_t unit);

// Encodes `text` in the single-byte code page whose upper half UpperHalfOf gave (nullptr: a
// code page without a table, so ASCII alone), as Windows converts when it is not told to
// refuse: a character the code page holds becomes its byte; another its best fit, the Latin
// letter without its accent or stroke ("ő" → "o", "ł" → "l") or a straight quote, hyphen or
// space for a typographic one, when the code page lacks the character itself; else "?" (one
// for a surrogate pair). Appends to `out`; false when any character was replaced.
bool EncodeSingleByte(const char16_t* upper_half, std::u16string_view text, std::string& out);

// The text as it reads back once encoded so; nothing when every character is kept.
std::optional<std::u16string> ReplacedInSingleByte(const char16_t* upper_half, std::u16string_view text);

// Decodes bytes of any code page a workbook may name, Excel's own numbers for Latin-1 and Mac
// Roman included (1252 when iconv does not know it). Bytes without a character in it become
// U+FFFD.
std::u16string DecodeCodePage(std::string_view bytes, uint16_t code_page);

}  // namespace engine
