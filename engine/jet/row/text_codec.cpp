// Jet text decoding: see text_codec.h for the byte layouts.
#include "engine/jet/row/text_codec.h"

#include "engine/bytes.h"
#include "engine/code_page.h"
#include "engine/error.h"
#include "engine/utf.h"

namespace engine::jet {

void DecodeJet4Text(const uint8_t* bytes, size_t length, std::u16string& text) {
  if (length >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    text.resize(length - 2);  // at most one character per byte
    char16_t* const first = text.data();
    char16_t* out = first;
    const uint8_t* p = bytes + 2;
    const uint8_t* const end = bytes + length;
    // Alternate runs, each ended by a 00 byte: one-byte characters first, then two-byte ones.
    // A loop per run keeps the common case, a whole text of one-byte characters, to one test
    // per byte.
    while (p < end) {
      while (p < end && *p != 0) *out++ = *p++;
      if (++p >= end) break;
      while (p < end && *p != 0) {
        if (end - p < 2) {  // half a character at the end: dropped
          p = end;
          break;
        }
        *out++ = static_cast<char16_t>(GetU16(p));
        p += 2;
      }
      ++p;
    }
    text.resize(static_cast<size_t>(out - first));
    return;
  }
  const size_t count = length / 2;
  text.resize(count);
  DecodeUtf16LittleEndian(bytes, count, text.data());
}

TextDecoder::TextDecoder(JetVersion version, uint16_t code_page, std::string file)
    : version_(version), code_page_(code_page), upper_half_(UpperHalfOf(code_page)), file_(std::move(file)) {}

void TextDecoder::DecodeInto(const uint8_t* bytes, size_t length, std::u16string& text) const {
  if (version_ == JetVersion::Jet4) {
    DecodeJet4Text(bytes, length, text);
    return;
  }
  if (upper_half_ != nullptr) {
    text = DecodeSingleByte(upper_half_, bytes, length);
    return;
  }
  // An unsupported (multi-byte) code page: plain ASCII still reads the same.
  text.resize(length);
  for (size_t i = 0; i < length; ++i) {
    if (bytes[i] >= 0x80) {
      throw Error(file_, "the database's texts use code page " + std::to_string(code_page_) +
                             ", which this program cannot read",
                  ErrorKind::UnsupportedFormat);
    }
    text[i] = bytes[i];
  }
}

std::u16string TextDecoder::Decode(const uint8_t* bytes, size_t length) const {
  std::u16string text;
  DecodeInto(bytes, length, text);
  return text;
}

}  // namespace engine::jet
