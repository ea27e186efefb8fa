// A table's definition (TDEF) as the reader parses it and the writer and index code use it.
// Offsets and layouts: see the TDEF notes in jet4-format-notes; this header only holds the
// decoded result.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace engine::jet {

enum class JetVersion { Jet3, Jet4 };

// Column data types as stored in the column descriptor.
enum class ColumnType : uint8_t {
  Boolean = 0x01,
  Byte = 0x02,
  Integer = 0x03,
  Long = 0x04,
  Money = 0x05,
  Float = 0x06,   // single
  Double = 0x07,
  DateTime = 0x08,
  Binary = 0x09,
  Text = 0x0A,
  Ole = 0x0B,
  Memo = 0x0C,
  Guid = 0x0F,
  Numeric = 0x10,
  Complex = 0x12,  // ACE only; refused
};

// A pointer to a usage map row: page and row number.
struct RowPointer {
  uint32_t page = 0;
  uint8_t row = 0;
  static RowPointer FromPacked(uint32_t packed) { return {packed >> 8, static_cast<uint8_t>(packed & 0xFF)}; }
  uint32_t packed() const { return (page << 8) | row; }
};

// Where a row lives: data page and slot number. Index entries point at rows this way.
struct RowId {
  uint32_t page = 0;
  uint8_t row = 0;
  auto operator<=>(const RowId&) const = default;
};

struct ColumnDefinition {
  std::u16string name;
  ColumnType type = ColumnType::Text;
  uint16_t number = 0;           // its bit in the null mask; counts deleted columns
  uint16_t var_index = 0;        // slot in the variable-length offset table
  uint16_t fixed_offset = 0;     // offset in the fixed area (fixed columns)
  uint16_t length = 0;           // bytes (text: 2 x characters; memo/OLE: 0)
  uint8_t flags = 0;             // 0x01 fixed, 0x02 nullable, 0x04 long autonumber, 0x40 GUID autonumber
  uint8_t extra_flags = 0;       // 0x01 Unicode compression
  uint16_t sort_order = 0x0409;  // text: LCID of the sort order
  uint8_t sort_version = 0;      // text: 0 General (Legacy), 1 General 2010
  uint8_t precision = 0, scale = 0;  // numeric
  size_t descriptor_offset = 0;  // where the descriptor sits in the TDEF buffer (for rewriting)
  // Long-value columns: their own usage maps (Jet 4; zero when absent).
  RowPointer lval_owned_map, lval_free_map;

  bool is_fixed() const { return flags & 0x01; }
  bool is_autonumber() const { return flags & 0x04; }
  bool is_long_value() const { return type == ColumnType::Memo || type == ColumnType::Ole; }
  bool compressed_unicode() const { return extra_flags & 0x01; }
};

struct IndexColumn {
  uint16_t column_number = 0;  // ColumnDefinition::number
  bool ascending = true;
};

// A real (physical) index: the B-tree the rows are entered into.
struct RealIndex {
  uint32_t number = 0;
  std::vector<IndexColumn> columns;
  RowPointer usage_map;       // pages the index owns
  uint32_t root_page = 0;     // "first_dp"; never changes
  uint8_t flags = 0;          // 0x01 unique, 0x02 ignore nulls, 0x08 required
  uint32_t unique_entry_count = 0;
  size_t descriptor_offset = 0;   // in the TDEF buffer
  size_t count_offset = 0;        // of unique_entry_count in the TDEF buffer

  bool unique() const { return flags & 0x01; }
  bool ignore_nulls() const { return flags & 0x02; }
  bool required() const { return flags & 0x08; }
};

// A logical index: a name and a kind over a real index.
struct LogicalIndex {
  std::u16string name;
  uint32_t number = 0;
  uint32_t real_index = 0;
  uint8_t kind = 0;  // 1 primary key, 2 foreign key, 0 normal
};

inline constexpr uint8_t kSystemTableType = 0x53;  // TDEF table type of Jet's own tables

struct TableDefinition {
  std::u16string name;
  uint32_t tdef_page = 0;
  JetVersion version = JetVersion::Jet4;
  uint32_t row_count = 0;
  uint32_t autonumber = 0;      // last value handed out
  uint8_t table_type = 0x4E;    // 0x4E user, 0x53 system
  uint16_t max_columns = 0;
  uint16_t var_columns = 0;
  RowPointer owned_pages, free_space_pages;
  std::vector<ColumnDefinition> columns;  // in column order (the order fields are shown)
  std::vector<RealIndex> real_indexes;
  std::vector<LogicalIndex> logical_indexes;
  std::vector<uint32_t> tdef_pages;  // the page chain holding the definition

  // Position in `columns` of the column with that number, or -1.
  int PositionOfNumber(uint16_t number) const {
    for (size_t i = 0; i < columns.size(); ++i) {
      if (columns[i].number == number) return static_cast<int>(i);
    }
    return -1;
  }
};

}  // namespace engine::jet
