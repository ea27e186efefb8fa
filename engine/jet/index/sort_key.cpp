// Key bytes of non-text index columns, and whole entry keys of indexes of either version.
//
// Per column: flag 7F/80 (ascending/descending) then the value, or a lone 00/FF for Null.
//   byte                 the byte
//   integer/long/money   big-endian two's complement with the sign bit flipped
//   single/double/date   big-endian IEEE bits: positive flips the sign bit, negative is
//                        inverted whole (so -0 < +0 and NaN sorts above +Infinity)
//   yes/no               never Null: 00 for Yes, FF for No (Null keys as No)
//   GUID/binary          8-byte groups, each followed by 09 when more data follows; the last
//                        group zero-padded and followed by its real length 1..8. A GUID's
//                        bytes are taken in the order its text shows them.
//   decimal              sign byte (FF positive or zero, 00 negative) and the 16-byte
//                        magnitude, inverted when negative
// A descending column inverts its value bytes, except GUID/binary's inner 09 separators
// and the decimal sign byte. Text and memo keys live in sort_key_text.cpp.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "engine/base/error.h"
#include "engine/jet/index/sort_key.h"
#include "engine/text/code_page.h"

namespace engine::jet {
namespace {

constexpr uint8_t kAscendingValue = 0x7F, kDescendingValue = 0x80;
constexpr uint8_t kAscendingNull = 0x00, kDescendingNull = 0xFF;
constexpr uint8_t kYes = 0x00, kNo = 0xFF;
constexpr uint8_t kMoreGroups = 0x09;
constexpr size_t kGroupSize = 8;
constexpr uint8_t kDecimalPositive = 0xFF, kDecimalNegative = 0x00;

const char* TypeName(ColumnType type) {
  switch (type) {
    case ColumnType::Boolean: return "yes/no";
    case ColumnType::Byte: return "byte";
    case ColumnType::Integer: return "integer";
    case ColumnType::Long: return "long integer";
    case ColumnType::Money: return "currency";
    case ColumnType::Float: return "single";
    case ColumnType::Double: return "double";
    case ColumnType::DateTime: return "date/time";
    case ColumnType::Binary: return "binary";
    case ColumnType::Text: return "text";
    case ColumnType::Ole: return "OLE object";
    case ColumnType::Memo: return "memo";
    case ColumnType::Guid: return "replication ID";
    case ColumnType::Numeric: return "decimal";
    case ColumnType::Complex: return "attachment or multi-value";
  }
  return "unknown";
}

[[noreturn]] void ThrowWrongKind(ColumnType type) {
  throw Error("", std::string("a value of the wrong kind for a ") + TypeName(type) + " field of an index",
              ErrorKind::InvalidValue);
}

void Require(const Value& value, Value::Type kind, ColumnType type) {
  if (value.type() != kind) ThrowWrongKind(type);
}

bool IsText(ColumnType type) { return type == ColumnType::Text || type == ColumnType::Memo; }

int64_t IntegerIn(const Value& value, ColumnType type, int64_t low, int64_t high) {
  Require(value, Value::Type::Integer, type);
  int64_t v = value.integer();
  if (v < low || v > high) {
    throw Error("", "the number " + std::to_string(v) + " does not fit a " + TypeName(type) + " field",
                ErrorKind::InvalidValue);
  }
  return v;
}

void AppendBigEndian(uint64_t v, int bytes, std::string* key) {
  for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) key->push_back(static_cast<char>(v >> shift));
}

void InvertFrom(size_t start, std::string* key) {
  for (size_t i = start; i < key->size(); ++i) (*key)[i] = static_cast<char>(~(*key)[i]);
}

// IEEE bits made to sort as unsigned numbers. NaNs all take the canonical quiet NaN, as the
// Jet library the keys were checked against does.
uint64_t SortableDoubleBits(double v) {
  uint64_t bits = std::isnan(v) ? 0x7FF8000000000000ull : std::bit_cast<uint64_t>(v);
  return bits >> 63 ? ~bits : bits ^ (1ull << 63);
}

uint32_t SortableSingleBits(float v) {
  uint32_t bits = std::isnan(v) ? 0x7FC00000u : std::bit_cast<uint32_t>(v);
  return bits >> 31 ? ~bits : bits ^ (1u << 31);
}

// Groups of eight bytes; only the data bytes and the final length byte follow the order.
void AppendGroups(const uint8_t* data, size_t size, bool ascending, std::string* key) {
  size_t at = 0;
  do {
    size_t length = std::min(kGroupSize, size - at);
    size_t group_start = key->size();
    key->append(reinterpret_cast<const char*>(data + at), length);
    key->append(kGroupSize - length, '\0');
    at += length;
    if (at < size) {
      if (!ascending) InvertFrom(group_start, key);
      key->push_back(static_cast<char>(kMoreGroups));
    } else {
      key->push_back(static_cast<char>(length));
      if (!ascending) InvertFrom(group_start, key);
    }
  } while (at < size);
}

// A GUID is stored with its first three fields little-endian; its key uses the text order.
void AppendGuid(const Guid& guid, bool ascending, std::string* key) {
  const auto& b = guid.bytes;
  const uint8_t text_order[16] = {b[3], b[2], b[1], b[0], b[5], b[4], b[7], b[6],
                                  b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]};
  AppendGroups(text_order, sizeof text_order, ascending, key);
}

void AppendDecimal(const Decimal& value, bool ascending, std::string* key) {
  const bool negative = value.negative && value.magnitude != 0;
  key->push_back(static_cast<char>(negative ? kDecimalNegative : kDecimalPositive));
  size_t start = key->size();
  unsigned __int128 magnitude = value.magnitude;
  AppendBigEndian(static_cast<uint64_t>(magnitude >> 64), 8, key);
  AppendBigEndian(static_cast<uint64_t>(magnitude), 8, key);
  // Ascending negatives invert, so larger magnitudes sort first; descending flips that again.
  if (negative == ascending) InvertFrom(start, key);
}

unsigned __int128 PowerOfTen(int exponent) {
  unsigned __int128 p = 1;
  for (int i = 0; i < exponent; ++i) p *= 10;
  return p;
}

// A decimal brought to the column's scale, as the row stores it.
Decimal AtScale(const Decimal& value, uint8_t scale) {
  Decimal result = value;
  result.scale = scale;
  if (value.scale < scale) {
    unsigned __int128 factor = PowerOfTen(scale - value.scale);
    if (value.magnitude > (static_cast<unsigned __int128>(1) << 96) / factor) {
      throw Error("", "the number is too large for its decimal field", ErrorKind::InvalidValue);
    }
    result.magnitude = value.magnitude * factor;
  } else if (value.scale > scale) {
    unsigned __int128 divisor = PowerOfTen(value.scale - scale);
    if (value.magnitude % divisor != 0) {
      throw Error("", "the number has more decimals than its decimal field holds", ErrorKind::InvalidValue);
    }
    result.magnitude = value.magnitude / divisor;
  }
  return result;
}

}  // namespace

bool IsIndexableType(ColumnType type) {
  switch (type) {
    case ColumnType::Boolean:
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long:
    case ColumnType::Money:
    case ColumnType::Float:
    case ColumnType::Double:
    case ColumnType::DateTime:
    case ColumnType::Binary:
    case ColumnType::Text:
    case ColumnType::Memo:
    case ColumnType::Guid:
    case ColumnType::Numeric:
      return true;
    case ColumnType::Ole:
    case ColumnType::Complex:
      return false;
  }
  return false;
}

void AppendColumnKey(ColumnType type, const Value& value, bool ascending, std::string* key) {
  if (!IsIndexableType(type)) {
    throw Error("", std::string("a ") + TypeName(type) + " field cannot be part of an index",
                ErrorKind::UnsupportedFormat);
  }
  if (type == ColumnType::Boolean) {
    // Yes/no columns are never Null in an index; a Null sorts as No.
    if (!value.is_null()) Require(value, Value::Type::Flag, type);
    uint8_t byte = !value.is_null() && value.flag() ? kYes : kNo;
    key->push_back(static_cast<char>(ascending ? kAscendingValue : kDescendingValue));
    key->push_back(static_cast<char>(ascending ? byte : ~byte));
    return;
  }
  if (value.is_null()) {
    key->push_back(static_cast<char>(ascending ? kAscendingNull : kDescendingNull));
    return;
  }
  if (type == ColumnType::Text || type == ColumnType::Memo) {
    Require(value, Value::Type::Text, type);
    AppendTextKey(value.text(), ascending, key);
    return;
  }

  key->push_back(static_cast<char>(ascending ? kAscendingValue : kDescendingValue));
  const size_t start = key->size();
  switch (type) {
    case ColumnType::Byte:
      AppendBigEndian(static_cast<uint64_t>(IntegerIn(value, type, 0, 255)), 1, key);
      break;
    case ColumnType::Integer:
      AppendBigEndian(static_cast<uint64_t>(IntegerIn(value, type, INT16_MIN, INT16_MAX)) ^ 0x8000u, 2, key);
      break;
    case ColumnType::Long:
      AppendBigEndian(static_cast<uint64_t>(IntegerIn(value, type, INT32_MIN, INT32_MAX)) ^ 0x80000000u, 4, key);
      break;
    case ColumnType::Money:
      Require(value, Value::Type::Currency, type);
      AppendBigEndian(static_cast<uint64_t>(value.currency().ten_thousandths) ^ (1ull << 63), 8, key);
      break;
    case ColumnType::Float:
      Require(value, Value::Type::Single, type);
      AppendBigEndian(SortableSingleBits(value.single()), 4, key);
      break;
    case ColumnType::Double:
      Require(value, Value::Type::Double, type);
      AppendBigEndian(SortableDoubleBits(value.dbl()), 8, key);
      break;
    case ColumnType::DateTime:
      Require(value, Value::Type::Date, type);
      AppendBigEndian(SortableDoubleBits(value.date().days), 8, key);
      break;
    case ColumnType::Guid:
      Require(value, Value::Type::Guid, type);
      AppendGuid(value.guid(), ascending, key);
      return;  // orders its own bytes
    case ColumnType::Binary:
      Require(value, Value::Type::Binary, type);
      AppendGroups(value.binary().data(), value.binary().size(), ascending, key);
      return;
    case ColumnType::Numeric:
      Require(value, Value::Type::Decimal, type);
      AppendDecimal(value.decimal(), ascending, key);
      return;
    default:
      ThrowWrongKind(type);
  }
  if (!ascending) InvertFrom(start, key);
}

void AppendColumnKey(const ColumnDefinition& column, const Value& value, bool ascending, std::string* key) {
  if (column.type == ColumnType::Numeric && value.type() == Value::Type::Decimal &&
      value.decimal().scale != column.scale) {
    AppendColumnKey(column.type, Value::Numeric(AtScale(value.decimal(), column.scale)), ascending, key);
    return;
  }
  AppendColumnKey(column.type, value, ascending, key);
}

void EncodeIndexKey(const TableDefinition& table, const RealIndex& index,
                    const std::vector<Value>& values_by_column_position, std::string* key) {
  key->clear();
  for (const IndexColumn& index_column : index.columns) {
    int position = table.PositionOfNumber(index_column.column_number);
    if (position < 0) {
      throw Error("", "an index of table " + ToUtf8(table.name) + " refers to a field the table does not have",
                  ErrorKind::Damaged);
    }
    if (static_cast<size_t>(position) >= values_by_column_position.size()) {
      throw Error("", "a record of table " + ToUtf8(table.name) + " lacks the values of some fields",
                  ErrorKind::InvalidValue);
    }
    const ColumnDefinition& column = table.columns[position];
    const Value& value = values_by_column_position[position];
    if (table.version == JetVersion::Jet3 && IsText(column.type) && !value.is_null()) {
      Require(value, Value::Type::Text, column.type);
      AppendTableTextKey(table, value.text(), index_column.ascending, key);
      continue;
    }
    AppendColumnKey(column, value, index_column.ascending, key);
  }
}

std::string EncodeIndexKey(const TableDefinition& table, const RealIndex& index,
                           const std::vector<Value>& values_by_column_position) {
  std::string key;
  EncodeIndexKey(table, index, values_by_column_position, &key);
  return key;
}

bool RowKeyInIndex(const TableDefinition& table, const RealIndex& index,
                   const std::vector<Value>& values_by_column_position, std::string* key, bool* with_null) {
  bool any_null = false, all_null = true;
  for (const IndexColumn& index_column : index.columns) {
    const int position = table.PositionOfNumber(index_column.column_number);
    const bool null = position < 0 || static_cast<size_t>(position) >= values_by_column_position.size() ||
                      values_by_column_position[static_cast<size_t>(position)].is_null();
    any_null = any_null || null;
    all_null = all_null && null;
  }
  if (with_null) *with_null = any_null;
  key->clear();
  if (all_null && index.ignore_nulls()) return false;
  EncodeIndexKey(table, index, values_by_column_position, key);
  return true;
}

bool HasKnownSortOrder(const ColumnDefinition& column) {
  if (column.type != ColumnType::Text && column.type != ColumnType::Memo) return true;
  return column.sort_order == 0x0409 && column.sort_version == 0;
}

bool IndexSortOrdersKnown(const TableDefinition& table, const RealIndex& index) {
  for (const IndexColumn& index_column : index.columns) {
    int position = table.PositionOfNumber(index_column.column_number);
    if (position < 0) return false;
    const ColumnDefinition& column = table.columns[position];
    if (!HasKnownSortOrder(column)) return false;
    // A Jet 3 key is made from the code page's bytes, so the engine must know them.
    if (IsText(column.type) && table.version == JetVersion::Jet3 && UpperHalfOf(table.code_page) == nullptr) {
      return false;
    }
  }
  return true;
}

void AppendTableTextKey(const TableDefinition& table, std::u16string_view text, bool ascending, std::string* key) {
  if (table.version != JetVersion::Jet3) {
    AppendTextKey(text, ascending, key);
    return;
  }
  const char16_t* upper_half = UpperHalfOf(table.code_page);
  if (upper_half == nullptr) {
    throw Error("", "texts of code page " + std::to_string(table.code_page) + " cannot be keyed in an index",
                ErrorKind::UnsupportedFormat);
  }
  AppendJet3TextKey(text, upper_half, ascending, key);
}

}  // namespace engine::jet
