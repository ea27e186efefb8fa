// The offsets that differ between Jet 3 (Access 97, 2 KB pages) and Jet 4 (Access 2000-2003,
// 4 KB pages): page headers, TDEF fields, descriptor sizes, row header widths. Every reader
// looks its offsets up here instead of testing the version itself.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/jet/format/table_definition.h"

namespace engine::jet {

struct JetFormat {
  JetVersion version;
  size_t page_size;

  // Data pages: 2 bytes type, 2 free space, 4 owner (+ 4 unknown in Jet 4), 2 slot count.
  size_t data_slot_count;     // offset of the u16 slot count
  size_t data_header_size;    // first slot entry

  // TDEF fields (offsets in the concatenated definition).
  size_t tdef_row_count, tdef_autonumber, tdef_table_type, tdef_max_columns, tdef_var_columns,
      tdef_column_count, tdef_logical_index_count, tdef_real_index_count, tdef_owned_map, tdef_free_map,
      tdef_first_block;
  size_t real_index_count_entry;  // per real index block before the column descriptors
  size_t column_descriptor_size;
  size_t real_index_descriptor_size;
  size_t logical_index_descriptor_size;

  // Column descriptor fields.
  size_t col_type, col_number, col_var_index, col_sort_order, col_precision, col_scale, col_flags,
      col_extra_flags, col_fixed_offset, col_length;

  // Real index descriptor fields.
  size_t real_columns, real_usage_map, real_root_page, real_flags;
  // Logical index descriptor fields.
  size_t logical_number, logical_real_index, logical_kind;

  size_t name_length_size;  // u8 (Jet 3, code-page bytes) or u16 (Jet 4, UCS-2)
  size_t row_count_size;    // row header num_cols: u8 or u16; also each var offset's width

  bool is_jet3() const { return version == JetVersion::Jet3; }
};

inline constexpr JetFormat kJet3Format{
    JetVersion::Jet3, 2048,
    8, 10,
    12, 16, 20, 21, 23, 25, 27, 31, 35, 39, 43,
    8, 18, 39, 20,
    0, 1, 3, 7, 11, 12, 13, 14, 14, 16,
    0, 30, 34, 38,
    0, 4, 19,
    1, 1};

inline constexpr JetFormat kJet4Format{
    JetVersion::Jet4, 4096,
    12, 14,
    16, 20, 40, 41, 43, 45, 47, 51, 55, 59, 63,
    12, 25, 52, 28,
    0, 5, 7, 11, 11, 12, 15, 16, 21, 23,
    4, 34, 38, 46,
    4, 8, 23,
    2, 2};

// Page types (byte 0 of a page).
inline constexpr uint8_t kPageData = 0x01;
inline constexpr uint8_t kPageTableDefinition = 0x02;
inline constexpr uint8_t kPageUsageBitmap = 0x05;

// Data page slot entries: low 13 bits the row's offset, two flags above.
inline constexpr uint16_t kSlotDeleted = 0x8000;
inline constexpr uint16_t kSlotOverflow = 0x4000;
inline constexpr uint16_t kSlotOffsetMask = 0x1FFF;

}  // namespace engine::jet
