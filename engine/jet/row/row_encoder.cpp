#include "engine/jet/row/row_encoder.h"

#include <bit>

#include "engine/base/bytes.h"
#include "engine/base/error.h"
#include "engine/jet/page/data_page.h"
#include "engine/jet/row/decimal_field.h"
#include "engine/text/utf.h"

namespace engine::jet {
namespace {

// A number's bytes as the file stores them, little-endian on any host.
std::string Little16(uint16_t v) {
  std::string out(2, '\0');
  PutU16(reinterpret_cast<uint8_t*>(out.data()), v);
  return out;
}
std::string Little32(uint32_t v) {
  std::string out(4, '\0');
  PutU32(reinterpret_cast<uint8_t*>(out.data()), v);
  return out;
}
std::string Little64(uint64_t v) {
  std::string out(8, '\0');
  PutU64(reinterpret_cast<uint8_t*>(out.data()), v);
  return out;
}

}  // namespace

std::string EncodeFixedValue(const ColumnDefinition& column, const Value& value) {
  std::string out;
  switch (column.type) {
    case ColumnType::Byte: out = std::string(1, static_cast<char>(static_cast<uint8_t>(value.integer()))); break;
    case ColumnType::Integer: out = Little16(static_cast<uint16_t>(value.integer())); break;
    case ColumnType::Long: out = Little32(static_cast<uint32_t>(value.integer())); break;
    case ColumnType::Money: out = Little64(static_cast<uint64_t>(value.currency().ten_thousandths)); break;
    case ColumnType::Float: out = Little32(std::bit_cast<uint32_t>(value.single())); break;
    case ColumnType::Double: out = Little64(std::bit_cast<uint64_t>(value.dbl())); break;
    case ColumnType::DateTime: out = Little64(std::bit_cast<uint64_t>(value.date().days)); break;
    case ColumnType::Guid: out.assign(value.guid().bytes.begin(), value.guid().bytes.end()); break;
    case ColumnType::Numeric:
      out.assign(kDecimalFieldSize, '\0');
      EncodeDecimalField(value.decimal(), reinterpret_cast<uint8_t*>(out.data()));
      break;
    default:
      throw Error("", "column \"" + ToUtf8(column.name) + "\": writing this column type is not supported",
                  ErrorKind::UnsupportedFormat);
  }
  // A descriptor may declare more bytes than the value needs; the rest stays zero.
  if (column.length > out.size()) out.resize(column.length, '\0');
  return out;
}

}  // namespace engine::jet
