// Text as Jet stores it in rows, names and memos.
// Jet 4: UCS-2LE, or "compressed Unicode": the bytes FF FE, then one byte per character
// (high byte 0) where each 00 byte switches between one-byte and two-byte characters.
// Jet 3: single bytes in the database code page. Decoded and encoded here.
// Layout: FORMAT.md, "Text".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/jet/format/format.h"
#include "engine/jet/format/table_definition.h"

namespace engine::jet {

class TextDecoder {
 public:
  TextDecoder(JetVersion version, uint16_t code_page, std::string file);

  std::u16string Decode(const uint8_t* bytes, size_t length) const;
  void DecodeInto(const uint8_t* bytes, size_t length, std::u16string& text) const;

 private:
  JetVersion version_;
  uint16_t code_page_;
  const char16_t* upper_half_;  // Jet 3; nullptr when the code page is not supported
  std::string file_;
};

// Jet 4 decoding on its own (also used for names in Jet 4 TDEFs).
void DecodeJet4Text(const uint8_t* bytes, size_t length, std::u16string& text);

// A text or memo value as its column stores it. Jet 3: the code page's bytes, each character
// it lacks as its best fit or "?" (the value was converted to what it stores before, see
// value_conversion.h). Jet 4: "compressed Unicode" (FF FE, one byte a character) when the
// column allows it and every character is in U+0001..U+00FF, else UTF-16LE.
std::string EncodeText(const ColumnDefinition& column, std::u16string_view text);

}  // namespace engine::jet
