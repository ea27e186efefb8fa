// Code page 1252 (by far the most common) and Latin-1 are decoded here with a table; other
// code pages go through the C library's iconv, which glibc always has.
#include "engine/excel/code_page.h"

#include <iconv.h>

#include <string>

namespace engine::excel {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Windows-1252 bytes 0x80..0x9F; the rest of the code page is Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

std::u16string DecodeCp1252(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  for (char b : bytes) {
    auto byte = static_cast<uint8_t>(b);
    text += (byte >= 0x80 && byte < 0xA0) ? kCp1252High[byte - 0x80] : static_cast<char16_t>(byte);
  }
  return text;
}

std::u16string DecodeLatin1(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  for (char b : bytes) text += static_cast<char16_t>(static_cast<uint8_t>(b));
  return text;
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
  if (converter == reinterpret_cast<iconv_t>(-1)) return DecodeCp1252(bytes);
  std::u16string text;
  std::string input(bytes);
  char* in = input.data();
  size_t in_left = input.size();
  std::string output(4 * input.size() + 4, '\0');
  while (in_left > 0) {
    char* out = output.data();
    size_t out_left = output.size();
    size_t result = iconv(converter, &in, &in_left, &out, &out_left);
    size_t produced = output.size() - out_left;
    for (size_t i = 0; i + 1 < produced; i += 2) {
      text += static_cast<char16_t>(static_cast<uint8_t>(output[i]) | (static_cast<uint8_t>(output[i + 1]) << 8));
    }
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

std::u16string DecodeCodePage(std::string_view bytes, uint16_t code_page) {
  switch (code_page) {
    case 1252:
    case 0:
      return DecodeCp1252(bytes);
    case 32769:  // "Latin-1" as BIFF5 writes it
    case 1200:   // UTF-16 declared, yet 8-bit text present: read it as Latin-1
      return DecodeLatin1(bytes);
    case 32768:  // Mac Roman in Excel's own numbering
      return DecodeWithIconv(bytes, 10000);
    default:
      return DecodeWithIconv(bytes, code_page);
  }
}

}  // namespace engine::excel
