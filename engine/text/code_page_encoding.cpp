// Encoding into a single-byte code page: see code_page.h. Windows converts with "best fit"
// unless told otherwise, and Jet 3 stores its texts so; the best fit here covers what a price
// list meets (accented and barred Latin letters, typographic quotes and dashes) and gives "?"
// for the rest, Greek and Cyrillic letters among them, as Windows does in a Western code page.
#include <string_view>

#include "engine/text/code_page.h"

namespace engine {
namespace {

constexpr uint8_t kUnknown = '?';

// The base letter of each character from U+00C0 to U+024F and from U+1E00 to U+1EFF, or '?':
// the first character of its canonical decomposition when that is an ASCII letter, and the
// letter under the stroke or bar for those without one (Ø, Đ, Ħ, Ł, ı, Ŧ, ...).
constexpr std::string_view kLatinFrom00C0 =
    "AAAAAA?CEEEEIIII?NOOOOO?OUUUUY??aaaaaa?ceeeeiiii?nooooo?ouuuuy?y"
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIi??JjKk?LlLlLl?"
    "?LlNnNnNn???OoOoOo??RrRrRrSsSsSsSsTtTtTtUuUuUuUuUuUuWwYyYZzZzZz?"
    "b??????????????????????I??l?????Oo??Pp?????????Uu????Zz?????????"
    "?????????????AaIiOoUuUuUuUuUu?AaAa??GgGgKkOoOo??j???Gg??NnAa????"
    "AaAaEeEeIiIiOoOoRrRrUuUuSsTt??Hh??????AaEeOoOoOoOoYy??????ACc???"
    "??????EeJj??RrYy";
constexpr std::string_view kLatinFrom1E00 =
    "AaBbBbBbCcDdDdDdDdDdEeEeEeEeEeFfGgHhHhHhHhHhIiIiKkKkKkLlLlLlLlMm"
    "MmMmNnNnNnNnOoOoOoOoPpPpRrRrRrRrSsSsSsSsSsTtTtTtTtUuUuUuUuUuVvVv"
    "WwWwWwWwWwXxXxYyZzZzZzhtwy??????AaAaAaAaAaAaAaAaAaAaAaAaEeEeEeEe"
    "EeEeEeEeIiIiOoOoOoOoOoOoOoOoOoOoOoOoUuUuUuUuUuUuUuYyYyYyYy??????";

// The byte of a character the code page lacks: always ASCII, which every code page holds.
uint8_t BestFit(char16_t c) {
  if (c >= 0x00C0 && c - 0x00C0u < kLatinFrom00C0.size()) return static_cast<uint8_t>(kLatinFrom00C0[c - 0x00C0]);
  if (c >= 0x1E00 && c - 0x1E00u < kLatinFrom1E00.size()) return static_cast<uint8_t>(kLatinFrom1E00[c - 0x1E00]);
  switch (c) {
    case 0x00A0: return ' ';  // no-break space
    case 0x2018:
    case 0x2019:
    case 0x201A:
    case 0x2032: return '\'';
    case 0x201C:
    case 0x201D:
    case 0x201E:
    case 0x2033: return '"';
    case 0x2010:
    case 0x2011:
    case 0x2012:
    case 0x2013:
    case 0x2014:
    case 0x2212: return '-';
    default: return kUnknown;
  }
}

// Whether the code page holds `c`, and its byte there.
bool ByteOf(const char16_t* upper_half, char16_t c, uint8_t* byte) {
  if (c < 0x80) {
    *byte = static_cast<uint8_t>(c);
    return true;
  }
  // U+FFFD stands for the bytes a code page leaves undefined: no character maps to those.
  if (upper_half == nullptr || c == 0xFFFD) return false;
  // Western code pages keep most of Latin-1 in its own place: one look before the search.
  if (c < 0x100 && upper_half[c - 0x80] == c) {
    *byte = static_cast<uint8_t>(c);
    return true;
  }
  for (int i = 0; i < 0x80; ++i) {
    if (upper_half[i] == c) {
      *byte = static_cast<uint8_t>(0x80 + i);
      return true;
    }
  }
  return false;
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

bool EncodeSingleByte(const char16_t* upper_half, std::u16string_view text, std::string& out) {
  bool exact = true;
  // Sized once and filled in place (a surrogate pair takes one byte, so it may end shorter):
  // every text of every new row of an Access 97 table passes here.
  const size_t start = out.size();
  out.resize(start + text.size());
  char* at = out.data() + start;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    uint8_t byte = 0;
    if (!ByteOf(upper_half, c, &byte)) {
      exact = false;
      if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ++i;  // one character
      byte = BestFit(c);
    }
    *at++ = static_cast<char>(byte);
  }
  out.resize(static_cast<size_t>(at - out.data()));
  return exact;
}

uint8_t SingleByteOf(const char16_t* upper_half, char16_t unit) {
  uint8_t byte = 0;
  if (ByteOf(upper_half, unit, &byte)) return byte;
  // U+FFFD, which the bytes the code page leaves undefined read as, finds the first of them:
  // a text read from such a byte keys as one (in 1252 they all sort alike).
  if (unit == 0xFFFD && upper_half != nullptr) {
    for (int i = 0; i < 0x80; ++i) {
      if (upper_half[i] == unit) return static_cast<uint8_t>(0x80 + i);
    }
  }
  return kUnknown;
}

std::optional<std::u16string> ReplacedInSingleByte(const char16_t* upper_half, std::u16string_view text) {
  // The common case, a text the code page holds whole, costs one pass and no copy.
  uint8_t byte = 0;
  bool held = true;
  for (char16_t c : text) {
    if (c >= 0x80 && !ByteOf(upper_half, c, &byte)) {
      held = false;
      break;
    }
  }
  if (held) return std::nullopt;
  std::string bytes;
  EncodeSingleByte(upper_half, text, bytes);
  // Without a table every byte written is ASCII, so the table is never looked at.
  return DecodeSingleByte(upper_half, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace engine
