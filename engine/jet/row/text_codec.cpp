// Jet text decoding: see text_codec.h for the byte layouts.
#include "engine/jet/row/text_codec.h"

#include <algorithm>
#include <cstring>

#include "engine/base/bytes.h"
#include "engine/text/code_page.h"
#include "engine/base/error.h"
#include "engine/text/utf.h"

namespace engine::jet {
namespace {

using EightBytes = uint8_t __attribute__((vector_size(8)));
using EightUnits = char16_t __attribute__((vector_size(16)));

}  // namespace

void DecodeJet4Text(const uint8_t* bytes, size_t length, std::u16string& text) {
  if (length >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    text.resize(length - 2);  // at most one character per byte
    char16_t* const first = text.data();
    char16_t* out = first;
    const uint8_t* p = bytes + 2;
    const uint8_t* const end = bytes + length;
    // Alternate runs, each ended by a 00 byte: one-byte characters first, then two-byte ones.
    // A loop per run keeps the common case, a whole text of one-byte characters, to one test
    // per eight bytes, then one per byte.
    while (p < end) {
      // Eight bytes at a time while none of them is the 00 that ends the run, widened in one
      // vector operation (the compiler's generic vectors: SSE2 here, NEON on ARM).
      while (end - p >= 8) {
        uint64_t eight;
        std::memcpy(&eight, p, sizeof eight);
        // A 00 byte borrows into its own top bit when 1 is taken from each byte.
        if (((eight - 0x0101010101010101) & ~eight & 0x8080808080808080) != 0) break;
        EightBytes narrow;
        std::memcpy(&narrow, p, sizeof narrow);
        const EightUnits units = __builtin_convertvector(narrow, EightUnits);
        std::memcpy(out, &units, sizeof units);
        out += 8;
        p += 8;
      }
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

namespace {

// Jackcess's limits for compressed text, which Access reads back: at least 3 characters (a
// shorter value gains nothing from the 2-byte header) and at most 1024.
constexpr size_t kMinCompressedChars = 3;
constexpr size_t kMaxCompressedChars = 1024;

}  // namespace

std::string EncodeText(const ColumnDefinition& column, std::u16string_view text) {
  if (column.code_page_text) {
    std::string out;
    EncodeSingleByte(UpperHalfOf(column.code_page), text, out);
    return out;
  }
  const bool compressible = column.compressed_unicode() && text.size() >= kMinCompressedChars &&
                            text.size() <= kMaxCompressedChars &&
                            std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= 0x01 && c <= 0xFF; });
  if (compressible) {
    // Sized once and filled in place: every text of every new row passes here.
    std::string out(text.size() + 2, '\0');
    out[0] = '\xFF';
    out[1] = '\xFE';
    for (size_t i = 0; i < text.size(); ++i) out[i + 2] = static_cast<char>(text[i]);
    return out;
  }
  return ToUtf16LittleEndian(text);
}

}  // namespace engine::jet
