// A table's definition (TDEF) as the reader parses it and the writer and index code use it.
// Layout: FORMAT.md, "Table definitions (TDEF)"; this header only holds the decoded result.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/jet/format/column_type.h"
#include "engine/jet/format/page_number.h"

namespace engine::jet {

// Where a row lives: a data page and the row's slot on it. Usage maps, long values and
// overflow rows are pointed at by four stored bytes, the row byte then the 3-byte page: read
// as one little-endian u32 that is (page << 8) | row (FromPacked, packed), and 0 means none.
// Index entries store the same two parts big-endian (index/index_page.h).
struct RowId {
  PageNumber page;
  uint8_t row = 0;
  static constexpr RowId FromPacked(uint32_t packed) {
    return {PageNumber(packed >> 8), static_cast<uint8_t>(packed & 0xFF)};
  }
  constexpr uint32_t packed() const { return (page.value() << 8) | row; }
  auto operator<=>(const RowId&) const = default;
};

// Column descriptor flags, and the extra flags' Unicode compression bit.
inline constexpr uint8_t kColumnFixed = 0x01;
inline constexpr uint8_t kColumnNullable = 0x02;
inline constexpr uint8_t kColumnAutonumber = 0x04;  // long integer autonumber
inline constexpr uint8_t kColumnGuidAutonumber = 0x40;
inline constexpr uint8_t kColumnCompressedUnicode = 0x01;

struct ColumnDefinition {
  std::u16string name;
  ColumnType type = ColumnType::Text;
  uint16_t number = 0;           // its bit in the null mask; counts deleted columns
  uint16_t var_index = 0;        // slot in the variable-length offset table
  uint16_t fixed_offset = 0;     // offset in the fixed area (fixed columns)
  uint16_t length = 0;           // bytes (text: characters x 2 in Jet 4, x 1 in Jet 3; memo/OLE: 0)
  uint8_t flags = 0;             // kColumn* flags
  uint8_t extra_flags = 0;       // kColumnCompressedUnicode
  uint16_t sort_order = 0x0409;  // text: LCID of the sort order
  uint8_t sort_version = 0;      // text: 0 General (Legacy), 1 General 2010
  uint8_t precision = 0, scale = 0;  // numeric
  // Long-value columns: their own usage maps (Jet 4; zero when absent).
  RowId lval_owned_map, lval_free_map;
  // Jet 3 texts and memos are single bytes of the database's code page (header 0x3C, 0 read
  // as 1252); Jet 4 ones UTF-16 (FORMAT.md, "Text").
  bool code_page_text = false;
  uint16_t code_page = 0;

  bool is_fixed() const { return flags & kColumnFixed; }
  bool is_autonumber() const { return flags & kColumnAutonumber; }
  bool is_long_value() const { return type == ColumnType::Memo || type == ColumnType::Ole; }
  bool compressed_unicode() const { return extra_flags & kColumnCompressedUnicode; }
};

struct IndexColumn {
  uint16_t column_number = 0;  // ColumnDefinition::number
  bool ascending = true;
};

// Real index flags.
inline constexpr uint8_t kIndexUnique = 0x01;
inline constexpr uint8_t kIndexIgnoreNulls = 0x02;
inline constexpr uint8_t kIndexRequired = 0x08;
inline constexpr uint8_t kIndexAccess2000 = 0x80;  // set on every index by Access 2000 and later

// A real (physical) index: the B-tree the rows are entered into.
struct RealIndex {
  uint32_t number = 0;
  std::vector<IndexColumn> columns;
  RowId usage_map;       // pages the index owns
  PageNumber root_page;       // "first_dp"; never changes
  uint8_t flags = 0;          // 0x01 unique, 0x02 ignore nulls, 0x08 required
  uint32_t unique_entry_count = 0;
  size_t count_offset = 0;        // of unique_entry_count in the TDEF buffer

  bool unique() const { return flags & kIndexUnique; }
  bool ignore_nulls() const { return flags & kIndexIgnoreNulls; }
  bool required() const { return flags & kIndexRequired; }
};

// Logical index kinds.
inline constexpr uint8_t kLogicalPrimaryKey = 1;
inline constexpr uint8_t kLogicalForeignKey = 2;

// A logical index: a name and a kind over a real index.
struct LogicalIndex {
  std::u16string name;
  uint32_t number = 0;
  uint32_t real_index = 0;
  uint8_t kind = 0;  // kLogicalPrimaryKey, kLogicalForeignKey or 0
};

// TDEF table types.
inline constexpr uint8_t kUserTableType = 0x4E;
inline constexpr uint8_t kSystemTableType = 0x53;  // Jet's own tables

struct TableDefinition {
  std::u16string name;
  PageNumber tdef_page;
  JetVersion version = JetVersion::Jet4;
  uint16_t code_page = 0;  // Jet 3: the database's, which the texts are stored in
  uint32_t row_count = 0;
  uint32_t autonumber = 0;      // last value handed out
  uint8_t table_type = kUserTableType;
  uint16_t max_columns = 0;
  uint16_t var_columns = 0;
  RowId owned_pages, free_space_pages;
  std::vector<ColumnDefinition> columns;  // in column order (the order fields are shown)
  std::vector<RealIndex> real_indexes;
  std::vector<LogicalIndex> logical_indexes;
  std::vector<PageNumber> tdef_pages;  // the page chain holding the definition

  // Position in `columns` of the column with that number, or -1.
  int PositionOfNumber(uint16_t number) const {
    for (size_t i = 0; i < columns.size(); ++i) {
      if (columns[i].number == number) return static_cast<int>(i);
    }
    return -1;
  }
};

}  // namespace engine::jet
