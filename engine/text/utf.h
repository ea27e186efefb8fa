// Conversions between the program's UTF-16 texts and UTF-8 (file names, messages, the dump
// format) or the UTF-16LE bytes Jet 4 and BIFF8 store. Unpaired surrogates become U+FFFD in
// UTF-8; bytes that are not UTF-8 become U+FFFD in UTF-16.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/base/bytes.h"

namespace engine {

std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

// Writes the UTF-8 bytes of the character at text[i] to `out` (room for 4 bytes) and returns
// the byte after them; a surrogate pair is one character, and `i` is left on its second half.
inline char* EncodeUtf8(std::u16string_view text, size_t& i, char* out) {
  uint32_t c = text[i];
  if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
    c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00u);
  } else if (c >= 0xD800 && c <= 0xDFFF) {
    c = 0xFFFD;  // an unpaired surrogate
  }
  if (c < 0x80) {
    *out++ = static_cast<char>(c);
    return out;
  }
  if (c < 0x800) {
    *out++ = static_cast<char>(0xC0 | (c >> 6));
  } else if (c < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (c >> 12));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (c >> 18));
    *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  }
  *out++ = static_cast<char>(0x80 | (c & 0x3F));
  return out;
}

// `count` UTF-16 code units stored little-endian at `bytes`, written to `out`.
inline void DecodeUtf16LittleEndian(const uint8_t* bytes, size_t count, char16_t* out) {
  for (size_t i = 0; i < count; ++i) out[i] = static_cast<char16_t>(GetU16(bytes + 2 * i));
}

// The text of UTF-16LE bytes; an odd last byte is left out.
std::u16string FromUtf16LittleEndian(std::string_view bytes);
std::string ToUtf16LittleEndian(std::u16string_view text);

}  // namespace engine
