// Decoding property blocks: see property_block.h.
#include "engine/jet/catalog/property_block.h"

#include <cstring>

#include "engine/base/bytes.h"
#include "engine/text/case_fold.h"
#include "engine/jet/format/byte_reader.h"
#include "engine/jet/row/row_decoder.h"

namespace engine::jet {
namespace {

constexpr size_t kSignatureSize = 4;     // "MR2\0" or "KKD\0"
constexpr size_t kChunkHeaderSize = 6;   // u32 length + u16 kind
constexpr size_t kValueHeaderSize = 8;   // u16 length, u8 flags, u8 type, u16 name index, u16 data length
constexpr size_t kNamePartHeader = 4;    // u32 length of the name part
constexpr uint16_t kNamePool = 0x80;
constexpr uint16_t kTableMap = 0x00;

// A length-prefixed text: u16 byte length, then the bytes.
std::u16string ReadText(const ByteReader& reader, size_t* offset, const TextDecoder& text) {
  const uint16_t length = reader.U16(*offset, "a property name");
  const uint8_t* bytes = reader.Bytes(*offset + 2, length, "a property name");
  *offset += 2 + length;
  return text.Decode(bytes, length);
}

Value DecodeValue(uint8_t type, const uint8_t* data, size_t size, const TextDecoder& text) {
  const auto column_type = static_cast<ColumnType>(type);
  switch (column_type) {
    case ColumnType::Boolean: return size == 0 ? Value::Null() : Value::Flag(data[0] != 0);
    case ColumnType::Text:
    case ColumnType::Memo: return Value::Text(text.Decode(data, size));
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long:
      // Access writes some of these wider than the type (a Integer in four bytes).
      if (size == 1) return Value::Integer(data[0]);
      if (size == 2) return Value::Integer(static_cast<int16_t>(GetU16(data)));
      if (size == 4) return Value::Integer(static_cast<int32_t>(GetU32(data)));
      break;
    default: {
      const size_t fixed = FixedSizeOf(column_type);
      if (fixed != 0 && fixed == size && column_type != ColumnType::Numeric) {
        ColumnDefinition column;
        column.type = column_type;
        return DecodeFixedValue(column, data);
      }
      break;
    }
  }
  return Value::Bytes(BinaryData(data, data + size));
}

void ReadValues(const ByteReader& reader, const std::vector<std::u16string>& names, const TextDecoder& text,
                PropertyMap* map) {
  size_t offset = 0;
  if (reader.size() == 0) return;
  const uint32_t name_part = reader.U32(0, "a property list");
  reader.Require(0, name_part, "a property list's name");
  if (name_part > kNamePartHeader + 2) {
    size_t name_offset = kNamePartHeader;
    map->name = ReadText(reader, &name_offset, text);
  }
  offset = name_part < kNamePartHeader ? kNamePartHeader : name_part;
  while (offset < reader.size()) {
    const uint16_t length = reader.U16(offset, "a property value");
    if (length < kValueHeaderSize) ThrowDamaged(reader.file(), "a property value is shorter than its header");
    reader.Require(offset, length, "a property value");
    const uint8_t type = reader.U8(offset + 3, "a property value");
    const uint16_t name_index = reader.U16(offset + 4, "a property value");
    const uint16_t data_size = reader.U16(offset + 6, "a property value");
    if (name_index >= names.size()) ThrowDamaged(reader.file(), "a property value names no known property");
    if (kValueHeaderSize + data_size > length) ThrowDamaged(reader.file(), "a property value runs past its end");
    Property property;
    property.name = names[name_index];
    property.type = type;
    property.value = DecodeValue(type, reader.data() + offset + kValueHeaderSize, data_size, text);
    map->properties.push_back(std::move(property));
    offset += length;
  }
}

}  // namespace

const Property* PropertyMap::Find(std::u16string_view property) const {
  for (const Property& candidate : properties) {
    if (SameName(candidate.name, property)) return &candidate;
  }
  return nullptr;
}

const PropertyMap* PropertyBlock::Table() const {
  for (const PropertyMap& map : maps) {
    if (map.is_table) return &map;
  }
  return nullptr;
}

const PropertyMap* PropertyBlock::Column(std::u16string_view column) const {
  for (const PropertyMap& map : maps) {
    if (!map.is_table && SameName(map.name, column)) return &map;
  }
  return nullptr;
}

PropertyBlock DecodePropertyBlock(const uint8_t* bytes, size_t size, const TextDecoder& text,
                                  const std::string& file) {
  PropertyBlock block;
  if (size == 0) return block;
  const ByteReader reader(bytes, size, file);
  const uint8_t* signature = reader.Bytes(0, kSignatureSize, "a property block");
  if (std::memcmp(signature, "MR2\0", kSignatureSize) != 0 && std::memcmp(signature, "KKD\0", kSignatureSize) != 0) {
    ThrowDamaged(file, "a property block has an unknown signature");
  }
  std::vector<std::u16string> names;
  size_t offset = kSignatureSize;
  while (offset < size) {
    const uint32_t length = reader.U32(offset, "a property chunk");
    const uint16_t kind = reader.U16(offset + 4, "a property chunk");
    if (length < kChunkHeaderSize) ThrowDamaged(file, "a property chunk is shorter than its header");
    reader.Require(offset, length, "a property chunk");
    const ByteReader contents(bytes + offset + kChunkHeaderSize, length - kChunkHeaderSize, file);
    if (kind == kNamePool) {
      names.clear();
      for (size_t at = 0; at < contents.size();) names.push_back(ReadText(contents, &at, text));
    } else {
      PropertyMap map;
      map.is_table = kind == kTableMap;
      ReadValues(contents, names, text, &map);
      block.maps.push_back(std::move(map));
    }
    offset += length;
  }
  return block;
}

}  // namespace engine::jet
