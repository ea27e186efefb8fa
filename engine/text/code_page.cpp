// Decoding with the tables of code_page_tables.cpp where a code page has one, with iconv
// (which glibc always has) for the rest, the multi-byte Asian code pages among them.
#include "engine/text/code_page.h"

#include <iconv.h>

#include "engine/text/utf.h"

namespace engine {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

std::u16string DecodeLatin1(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  for (char b : bytes) text += static_cast<char16_t>(static_cast<uint8_t>(b));
  return text;
}

std::u16string DecodeWithTable(std::string_view bytes, const char16_t* upper_half) {
  return DecodeSingleByte(upper_half, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::string IconvName(uint16_t code_page) {
  switch (code_page) {
    case 367: return "ASCII";
    case 10000: return "MACINTOSH";
    default: return "CP" + std::to_string(code_page);
  }
}

std::u16string DecodeWithIconv(std::string_view bytes, uint16_t code_page) {
  iconv_t converter = iconv_open("UTF-16LE", IconvName(code_page).c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) return DecodeWithTable(bytes, UpperHalfOf(1252));
  std::u16string text;
  std::string input(bytes);
  char* in = input.data();
  size_t in_left = input.size();
  std::string output(4 * input.size() + 4, '\0');
  while (in_left > 0) {
    char* out = output.data();
    size_t out_left = output.size();
    size_t result = iconv(converter, &in, &in_left, &out, &out_left);
    text += FromUtf16LittleEndian(std::string_view(output.data(), output.size() - out_left));
    if (result == static_cast<size_t>(-1) && in_left > 0) {
      // An invalid or incomplete sequence: mark it and go on after its first byte.
      text += kReplacement;
      ++in;
      --in_left;
    }
  }
  iconv_close(converter);
  return text;
}

}  // namespace

std::u16string DecodeSingleByte(const char16_t* upper_half, const uint8_t* bytes, size_t length) {
  std::u16string text(length, u'\0');
  for (size_t i = 0; i < length; ++i) {
    const uint8_t b = bytes[i];
    text[i] = b < 0x80 ? static_cast<char16_t>(b) : upper_half[b - 0x80];
  }
  return text;
}

std::u16string DecodeCodePage(std::string_view bytes, uint16_t code_page) {
  switch (code_page) {
    case 32769:  // "Latin-1" as BIFF5 writes it
    case 1200:   // UTF-16 declared, yet 8-bit text present: read it as Latin-1
      return DecodeLatin1(bytes);
    case 32768:  // Mac Roman in Excel's own numbering
      return DecodeWithIconv(bytes, 10000);
    default:
      if (const char16_t* upper_half = UpperHalfOf(code_page)) return DecodeWithTable(bytes, upper_half);
      return DecodeWithIconv(bytes, code_page);
  }
}

}  // namespace engine
