// UTF-8 and UTF-16LE conversions: see utf.h.
#include "engine/text/utf.h"

namespace engine {

std::string ToUtf8(std::u16string_view text) {
  std::string out(3 * text.size(), '\0');  // a unit takes at most 3 bytes, a pair 4
  char* end = out.data();
  for (size_t i = 0; i < text.size(); ++i) end = EncodeUtf8(text, i, end);
  out.resize(static_cast<size_t>(end - out.data()));
  return out;
}

std::u16string FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    unsigned char b = text[i];
    uint32_t c;
    size_t length;
    if (b < 0x80) {
      c = b, length = 1;
    } else if ((b & 0xE0) == 0xC0) {
      c = b & 0x1F, length = 2;
    } else if ((b & 0xF0) == 0xE0) {
      c = b & 0x0F, length = 3;
    } else if ((b & 0xF8) == 0xF0) {
      c = b & 0x07, length = 4;
    } else {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    if (i + length > text.size()) {
      out += u'\uFFFD';
      break;
    }
    bool valid = true;
    for (size_t k = 1; k < length; ++k) {
      unsigned char next = text[i + k];
      if ((next & 0xC0) != 0x80) valid = false;
      c = (c << 6) | (next & 0x3F);
    }
    i += valid ? length : 1;
    if (!valid) {
      out += u'\uFFFD';
    } else if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

std::u16string FromUtf16LittleEndian(std::string_view bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  DecodeUtf16LittleEndian(reinterpret_cast<const uint8_t*>(bytes.data()), text.size(), text.data());
  return text;
}

std::string ToUtf16LittleEndian(std::u16string_view text) {
  std::string bytes(2 * text.size(), '\0');
  auto* out = reinterpret_cast<uint8_t*>(bytes.data());
  for (size_t i = 0; i < text.size(); ++i) PutU16(out + 2 * i, text[i]);
  return bytes;
}

}  // namespace engine
