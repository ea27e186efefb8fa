// The property block of a table: the bytes of the LvProp field of its MSysObjects row, where
// Access keeps what the table definition has no room for (DefaultValue, Required,
// ValidationRule, captions, formats, ...). Layout, in FORMAT.md "Property blocks":
//
//   "MR2\0" (Jet 4) or "KKD\0" (Jet 3), then chunks, each: u32 length (with this header),
//   u16 kind, contents.
//   kind 0x80: the pool of property names, each u16 byte length + text.
//   kind 0x00 (the table's own properties) or 0x01 (one column's): u32 length of a name part
//   (with these 4 bytes), u16 byte length + the column's name when the part is longer than
//   6 bytes; then values, each: u16 length (with these 2 bytes), u8 flags, u8 data type
//   (the column type codes), u16 index in the name pool, u16 data length, data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/jet/row/text_codec.h"
#include "engine/value/value.h"

namespace engine::jet {

struct Property {
  std::u16string name;
  uint8_t type = 0;  // the column type code the value is stored as
  Value value;       // Flag, Integer, Double, Date, Text (text and memo) or Bytes
};

struct PropertyMap {
  std::u16string name;  // the column's name; empty for the table's own map
  bool is_table = false;
  std::vector<Property> properties;

  // The property of that name (letter case ignored), or nullptr.
  const Property* Find(std::u16string_view property) const;
};

struct PropertyBlock {
  std::vector<PropertyMap> maps;

  // The table's own map, or nullptr when the block has none.
  const PropertyMap* Table() const;
  // The map of the named column (letter case ignored), or nullptr.
  const PropertyMap* Column(std::u16string_view column) const;
};

// Decodes a property block; an empty input is a block without maps. Throws engine::Error
// (Damaged) naming `file` when a length or an index does not fit.
PropertyBlock DecodePropertyBlock(const uint8_t* bytes, size_t size, const TextDecoder& text,
                                  const std::string& file);

}  // namespace engine::jet
