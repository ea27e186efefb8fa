// Text keys in the General (Legacy) sort order of Jet 4 (LCID 0x0409, version 0), and in
// Access 97's General order of Jet 3 files (at the end of this file).
//
// Bytes written after the flag byte:
//   inline codes  one to four bytes per character that has them (case-folded letters,
//                 digits, punctuation; accents and ignored characters add nothing here)
//   01            end of the inline codes
//   extra codes   accent weights, one entry per inline character up to the last accented
//                 one (02 = none); absent when no character carries any
//   01 01 ...     only when "unprintable" (U) or "international extra" (Z) characters
//                 occur: Z's packed 2-bit codes and a fixed suffix, then U's position
//                 records (8000|7+4q, 06, code)
//   00            end of the key; a descending key is inverted from the first inline byte
//                 through this 00, then gets one more, uninverted 00.
// Only the first 255 UTF-16 units count, and trailing spaces are ignored, so a text and the
// same text padded with spaces share a key.
//
// The per-character codes come from the table generated at build time
// (sort_codes_generated.cpp, from gen_sort_codes), expanded once into 64K records.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "engine/base/error.h"
#include "engine/jet/index/sort_key.h"
#include "engine/text/code_page.h"

namespace engine::jet {
namespace generated {
extern const uint8_t kGeneralLegacySortRuns[];
extern const size_t kGeneralLegacySortRunsSize;
extern const uint8_t kGeneral97SortRuns[];
extern const size_t kGeneral97SortRunsSize;
}  // namespace generated

namespace {

constexpr size_t kMaxKeyChars = 255;
constexpr uint8_t kEndOfText = 0x01;
constexpr uint8_t kEndOfKey = 0x00;
constexpr uint8_t kNoExtraCode = 0x02;  // placeholder for a character without accent weight
constexpr uint8_t kSurrogateExtraCode = 0x3F;
constexpr uint8_t kZDefaultCode = 3, kZFlaggedCode = 2;
constexpr uint8_t kZCodesSuffix[] = {0xFF, 0x02, 0x80, 0xFF, 0x80};
constexpr uint8_t kZBeforeUnprintableSuffix = 0xFF;
constexpr uint16_t kUnprintableMarker = 0x8000, kUnprintableBase = 7, kUnprintableStep = 4;
constexpr uint8_t kUnprintableSeparator = 0x06;

// Character classes, as named by the table's letters.
enum Kind : uint8_t {
  kSimple,          // S: inline code only
  kInternational,   // I: inline code plus an accent weight
  kUnprintable,     // U: no inline code; a position record at the end
  kExtraModifier,   // P: no inline code; adds to the previous accent weight
  kInternationalZ,  // Z: inline code, optional weight, and a 2-bit code
  kIgnored,         // X: nothing at all
  kSignificant,     // G: inline code; in Access 97's order, a letter that has accented forms
};

struct SortCode {
  Kind kind : 3;
  uint8_t extra_len : 2;
  uint8_t z_flagged : 1;
  uint8_t inline_len;
  uint8_t inline_bytes[4];
  uint8_t extra[2];  // I/Z accent weight, or the U/P byte
};
static_assert(sizeof(SortCode) == 8);

using SortTable = std::array<SortCode, 0x10000>;

Kind KindOfLetter(uint8_t letter) {
  switch (letter) {
    case 'S': return kSimple;
    case 'G': return kSignificant;
    case 'I':
      return kInternational;
    case 'U':
      return kUnprintable;
    case 'P':
      return kExtraModifier;
    case 'Z':
      return kInternationalZ;
    default:
      return kIgnored;
  }
}

// Surrogate halves are not in the table files; their codes follow a formula. Each half gets
// a two-byte inline code and the accent weight 3F, like an I character.
SortCode SurrogateCode(uint32_t c) {
  uint32_t code;
  if (c < 0xDC00) {
    code = c - 10238;
  } else {
    uint32_t offset = (c - 0xDC00) % 1024;
    uint32_t delta = offset < 8 ? 9992 : offset < 262 ? 9990 : offset < 516 ? 9988 : offset < 770 ? 9986 : 9984;
    code = c - delta;
  }
  SortCode s{};
  s.kind = kInternational;
  s.inline_len = 2;
  s.inline_bytes[0] = static_cast<uint8_t>(code >> 8);
  s.inline_bytes[1] = static_cast<uint8_t>(code);
  s.extra_len = 1;
  s.extra[0] = kSurrogateExtraCode;
  return s;
}

// Expands the generated runs (layout described in tools/gen_sort_codes). Units no run names
// are ignored; `surrogate_codes`: surrogate halves get their computed codes instead.
std::unique_ptr<SortTable> ExpandTable(const uint8_t* runs, size_t size, bool surrogate_codes) {
  auto table = std::make_unique<SortTable>();
  for (SortCode& code : *table) code.kind = kIgnored;
  if (surrogate_codes) {
    for (uint32_t c = 0xD800; c < 0xE000; ++c) (*table)[c] = SurrogateCode(c);
  }
  size_t at = 0;
  // A fault of the program's own table, not of any file.
  auto broken = [] { throw Error("", "the built-in text sort table is damaged", ErrorKind::Other); };
  auto take = [&]() -> uint8_t {
    if (at >= size) broken();
    return runs[at++];
  };
  while (at < size) {
    uint32_t first = take() << 8;
    first |= take();
    uint32_t count = take() << 8;
    count |= take();
    SortCode code{};
    code.kind = KindOfLetter(take());
    code.inline_len = take();
    if (code.inline_len > 4) broken();
    for (int i = 0; i < code.inline_len; ++i) code.inline_bytes[i] = take();
    uint8_t extra_len = take();
    if (extra_len > 2 || first + count > 0x10000) broken();
    code.extra_len = extra_len & 0x3u;  // at most 2, checked above
    for (int i = 0; i < extra_len; ++i) code.extra[i] = take();
    code.z_flagged = take() != 0;
    for (uint32_t i = 0; i < count; ++i) {
      (*table)[first + i] = code;
      // Runs of S characters have consecutive codes: add one, big-endian, for the next.
      for (int b = code.inline_len - 1; b >= 0 && ++code.inline_bytes[b] == 0; --b) {
      }
    }
  }
  return table;
}

const SortTable& GeneralLegacyTable() {
  static const std::unique_ptr<SortTable> table =
      ExpandTable(generated::kGeneralLegacySortRuns, generated::kGeneralLegacySortRunsSize, true);
  return *table;
}

// Access 97: codes for U+0000..U+00FF and the few units above that the mappings give a code
// of; every other unit, surrogates included, is ignored.
const SortTable& General97Table() {
  static const std::unique_ptr<SortTable> table =
      ExpandTable(generated::kGeneral97SortRuns, generated::kGeneral97SortRunsSize, false);
  return *table;
}

// Accent weights, one entry (1-2 bytes) per inline character up to the last one that has
// a weight; the characters in between get the 02 placeholder.
struct ExtraCodes {
  uint8_t bytes[2 * kMaxKeyChars + 8];
  size_t length = 0;
  size_t entries = 0;
  size_t prefix_length = 0;  // a P byte that arrived before any entry
  bool started = false;

  void PadTo(size_t position) {
    while (entries < position) {
      bytes[length++] = kNoExtraCode;
      ++entries;
    }
    started = true;
  }
  void Add(size_t position, const uint8_t* code, size_t code_length) {
    PadTo(position);
    std::memcpy(bytes + length, code, code_length);
    length += code_length;
    ++entries;
  }
  // A P character changes the weight of the character before it, even a placeholder.
  void Modify(size_t position, uint8_t amount) {
    PadTo(position);
    if (length > 0) {
      bytes[length - 1] = static_cast<uint8_t>(bytes[length - 1] + amount);
    } else {
      bytes[length++] = amount;
      prefix_length = 1;
    }
  }
  // Trailing placeholders (and zero weights) carry no information.
  void TrimTrailing() {
    while (length > 0 && bytes[length - 1] <= kNoExtraCode) --length;
  }
};

// The key after its first byte, put together on the stack and added to the caller's string at
// once: a string append per byte was a good part of making a key, which the import does for
// every lookup and every new row. Room for the longest text: inline bytes (4 per character,
// plus the slack of a fixed 4-byte copy), accent weights, Z codes and unprintable records.
struct KeyBody {
  static constexpr size_t kCapacity = (4 * kMaxKeyChars + 4) + 1 + sizeof(ExtraCodes::bytes) + 2 +
                                      (kMaxKeyChars / 3 + 1) + sizeof kZCodesSuffix + 2 + 4 * kMaxKeyChars + 2;
  uint8_t bytes[kCapacity];
  size_t length = 0;

  void Append(const uint8_t* data, size_t count) {
    std::memcpy(bytes + length, data, count);
    length += count;
  }
  void Append(uint8_t byte) { bytes[length++] = byte; }
};

}  // namespace

void AppendTextKey(std::u16string_view text, bool ascending, std::string* key) {
  const SortTable& table = GeneralLegacyTable();
  text = text.substr(0, std::min(text.size(), kMaxKeyChars));
  while (!text.empty() && text.back() == u' ') text.remove_suffix(1);

  key->push_back(static_cast<char>(ascending ? 0x7F : 0x80));
  KeyBody body;

  ExtraCodes extra;
  uint8_t unprintables[4 * kMaxKeyChars];
  size_t unprintables_length = 0;
  uint8_t z_codes[kMaxKeyChars];
  size_t z_count = 0;
  bool any_unprintable = false;

  size_t inline_chars = 0;  // characters that have produced inline bytes so far
  for (char16_t c : text) {
    const SortCode& code = table[c];
    const size_t position = inline_chars;
    if (code.inline_len != 0) {
      std::memcpy(body.bytes + body.length, code.inline_bytes, sizeof code.inline_bytes);
      body.length += code.inline_len;
      ++inline_chars;
    }
    switch (code.kind) {
      case kSimple:
      case kSignificant:
      case kIgnored:
        break;
      case kInternational:
        extra.Add(position, code.extra, code.extra_len);
        break;
      case kInternationalZ:
        if (code.extra_len != 0) extra.Add(position, code.extra, code.extra_len);
        z_codes[z_count++] = code.z_flagged ? kZFlaggedCode : kZDefaultCode;
        break;
      case kExtraModifier:
        extra.Modify(position, code.extra[0]);
        break;
      case kUnprintable: {
        // The record says where the character sat, counted in extra-code bytes once accent
        // weights have begun.
        size_t q = position;
        if (extra.started) q = extra.length + (position - extra.entries) - extra.prefix_length;
        uint16_t where = static_cast<uint16_t>(kUnprintableMarker | (kUnprintableBase + kUnprintableStep * q));
        unprintables[unprintables_length++] = static_cast<uint8_t>(where >> 8);
        unprintables[unprintables_length++] = static_cast<uint8_t>(where);
        unprintables[unprintables_length++] = kUnprintableSeparator;
        unprintables[unprintables_length++] = code.extra[0];
        any_unprintable = true;
        break;
      }
    }
  }

  body.Append(kEndOfText);
  extra.TrimTrailing();
  body.Append(extra.bytes, extra.length);

  if (any_unprintable || z_count > 0) {
    body.Append(kEndOfText);
    body.Append(kEndOfText);
    if (z_count > 0) {
      size_t kept = z_count;
      while (kept > 0 && z_codes[kept - 1] == kZDefaultCode) --kept;
      for (size_t i = 0; i < kept; i += 3) {
        uint8_t packed = 0x80 | static_cast<uint8_t>(z_codes[i] << 4);
        if (i + 1 < kept) packed |= static_cast<uint8_t>(z_codes[i + 1] << 2);
        if (i + 2 < kept) packed |= z_codes[i + 2];
        body.Append(packed);
      }
      body.Append(kZCodesSuffix, sizeof kZCodesSuffix);
      if (any_unprintable) body.Append(kZBeforeUnprintableSuffix);
    }
    if (any_unprintable) {
      body.Append(kEndOfText);
      body.Append(unprintables, unprintables_length);
    }
  }
  body.Append(kEndOfKey);

  if (!ascending) {
    for (size_t i = 0; i < body.length; ++i) body.bytes[i] = static_cast<uint8_t>(~body.bytes[i]);
    body.Append(kEndOfKey);
  }
  key->append(reinterpret_cast<const char*>(body.bytes), body.length);
}

// Access 97's General order (Jet 3). The text is keyed as the row holds it: each unit
// becomes its byte in the database's code page ('?' when there is none) and that byte's
// character takes its code. After the flag byte:
//   inline codes  as in Jet 4 (one or two bytes per character; ignored characters none)
//   accents       only when an accented (I) character occurs: 4-bit nibbles, high nibble
//                 first, between two 0 nibbles: for each accented character, a 2 for every
//                 letter with accented forms (G) met since the previous accented one, then
//                 the low nibble of its accent weight; an odd count leaves the last low nibble 0
//   00            instead of the nibbles when there are none
// (A byte the code page leaves undefined keys by its own value's line.)
// No 01 separates the parts. A descending key is the ascending one inverted after the flag.
void AppendJet3TextKey(std::u16string_view text, const char16_t* upper_half, bool ascending, std::string* key) {
  constexpr uint8_t kNibblesBound = 0x0, kUnaccentedLetter = 0x2;
  const SortTable& table = General97Table();
  text = text.substr(0, std::min(text.size(), kMaxKeyChars));
  while (!text.empty() && text.back() == u' ') text.remove_suffix(1);

  key->push_back(static_cast<char>(ascending ? 0x7F : 0x80));
  // Inline codes, then the nibbles: at most one per character and the two bounds.
  uint8_t body[4 * kMaxKeyChars + 4 + (kMaxKeyChars + 3) / 2];
  size_t length = 0;
  uint8_t nibbles[kMaxKeyChars + 2];
  size_t nibble_count = 0;
  size_t letters_since_accent = 0;
  for (char16_t unit : text) {
    const uint8_t byte = SingleByteOf(upper_half, unit);
    char16_t stored = byte < 0x80 ? char16_t{byte} : upper_half[byte - 0x80];
    // A byte the code page leaves undefined (read as U+FFFD) takes the code of its own line,
    // as Access 97 keys it.
    if (stored == 0xFFFD) stored = byte;
    const SortCode& code = table[stored];
    std::memcpy(body + length, code.inline_bytes, sizeof code.inline_bytes);
    length += code.inline_len;
    if (code.kind == kSignificant) {
      ++letters_since_accent;
    } else if (code.kind == kInternational) {
      if (nibble_count == 0) nibbles[nibble_count++] = kNibblesBound;
      for (; letters_since_accent > 0; --letters_since_accent) nibbles[nibble_count++] = kUnaccentedLetter;
      nibbles[nibble_count++] = code.extra[0] & 0x0F;
    }
  }
  if (nibble_count == 0) {
    body[length++] = kEndOfKey;
  } else {
    nibbles[nibble_count++] = kNibblesBound;
    for (size_t i = 0; i < nibble_count; i += 2) {
      const uint8_t low = i + 1 < nibble_count ? nibbles[i + 1] : 0;
      body[length++] = static_cast<uint8_t>(nibbles[i] << 4 | low);
    }
  }
  if (!ascending) {
    for (size_t i = 0; i < length; ++i) body[i] = static_cast<uint8_t>(~body[i]);
  }
  key->append(reinterpret_cast<const char*>(body), length);
}

}  // namespace engine::jet
