// The offsets that differ between Jet 3 (Access 97, 2 KB pages) and Jet 4 (Access 2000-2003,
// 4 KB pages): page headers, TDEF fields, descriptor sizes, row header widths. Every reader
// and writer looks its offsets up here instead of testing the version itself.
// Layout: FORMAT.md, "Data pages", "Table definitions (TDEF)" and "Rows"; every constant in
// "Constants at a glance".
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/jet/format/table_definition.h"

namespace engine::jet {

struct JetFormat {
  JetVersion version = JetVersion::Jet4;
  size_t page_size = 0;

  // Data pages: 2 bytes type, 2 free space, 4 owner (+ 4 unknown in Jet 4), 2 slot count.
  size_t data_slot_count = 0;   // offset of the u16 slot count
  size_t data_header_size = 0;  // first slot entry
  // The longest row Jet writes: a table row (memo and OLE values counted as their header and
  // any inline bytes), and a long-value (LVAL) row, which Jet allows 20 bytes more in Jet 3
  // and 16 in Jet 4 (FORMAT.md, "Data pages", Limits).
  size_t max_row_size = 0;
  size_t max_long_value_row_size = 0;

  // TDEF pages: an 8-byte header on every page of the chain; offsets below are positions in
  // the concatenated definition (the first page's header included).
  size_t tdef_page_header_size = 0;
  size_t tdef_page_free_space = 0;  // u16 in a TDEF page's header (Jet 3: the letters "VC")
  size_t tdef_next_page = 0;        // u32 in a TDEF page's header, 0 on the last page
  size_t tdef_length = 0;  // u32 bytes of the whole definition
  size_t tdef_row_count = 0, tdef_autonumber = 0, tdef_table_type = 0, tdef_max_columns = 0,
         tdef_var_columns = 0, tdef_column_count = 0, tdef_logical_index_count = 0,
         tdef_real_index_count = 0, tdef_owned_map = 0, tdef_free_map = 0, tdef_first_block = 0;
  size_t real_index_count_entry = 0;   // per real index block before the column descriptors
  size_t real_index_unique_count = 0;  // u32 unique-entry count inside that block
  size_t column_descriptor_size = 0;
  size_t real_index_descriptor_size = 0;
  size_t logical_index_descriptor_size = 0;

  // Column descriptor fields.
  size_t col_type = 0, col_number = 0, col_var_index = 0, col_sort_order = 0, col_precision = 0, col_scale = 0,
         col_flags = 0, col_extra_flags = 0, col_fixed_offset = 0, col_length = 0;

  // Real index descriptor fields.
  size_t real_columns = 0, real_usage_map = 0, real_root_page = 0, real_flags = 0;
  // Logical index descriptor fields.
  size_t logical_number = 0, logical_real_index = 0, logical_kind = 0;

  // Fields only Jet 4 has (has_magic_numbers false in Jet 3): the constant 1625 in the table
  // block, in every column and logical index descriptor, 1923 in every real index descriptor;
  // the table block's autonumbering flag.
  bool has_magic_numbers = false;
  size_t tdef_constant = 0, tdef_autonumber_flag = 0, col_constant = 0, logical_constant = 0;
  // Fields of both: a column's position among the live columns; a logical index's related
  // index and its two cascade bytes; the long-value columns' maps (Access 97 lists them too).
  size_t col_position = 0, logical_related_index = 0, logical_cascade_updates = 0, logical_cascade_deletes = 0,
         lval_map_entry_size = 0;
  // Fields only Jet 3 has (0 in Jet 4): a column's code page, and a u16 that every column of
  // the files Access 97 writes holds as 1, its meaning unknown.
  size_t col_code_page = 0, col_jet3_one = 0;
  // What Access writes into the cascade bytes of an index that is no relationship's.
  uint8_t no_cascade = 0;
  // Bytes 2-3 of every TDEF page: Jet 4 keeps the page's free space there, Jet 3 the letters
  // "VC" (this u16; 0 in Jet 4).
  uint16_t tdef_page_signature = 0;

  // Sizes a writer of new objects needs: the inline usage maps Access makes (header and
  // bitmap), bytes per text character, the longest binary column, the flags
  // Access adds to every real index (0x80 from Access 2000 on).
  size_t usage_map_row_size = 0;
  size_t text_bytes_per_char = 0;
  size_t max_binary_length = 0;
  uint8_t index_flags_always = 0;

  // Index pages (after the type, free space and owner every version has): the previous,
  // next and child-tail page links, the prefix length (u8 in Jet 3, u16 in Jet 4), a byte
  // Access sets on some nodes, the entry-end bitmap and the entries. Jet 4 alone has a u32
  // at 8 (index_unknown_u32, 0 in Jet 3).
  size_t index_prev = 0, index_next = 0, index_tail = 0, index_prefix = 0, index_prefix_size = 0,
         index_unknown_byte = 0, index_unknown_u32 = 0, index_bitmap = 0, index_bitmap_size = 0, index_entries = 0;

  size_t name_length_size = 0;  // u8 (Jet 3, code-page bytes) or u16 (Jet 4, UCS-2)
  size_t row_count_size = 0;    // row header num_cols: u8 or u16; also each var offset's width

  bool is_jet3() const { return version == JetVersion::Jet3; }
  // Bytes of an index page that entries may take, and what an empty one reports as free:
  // the page after the entries' start (the bitmap's bits cover at least as much).
  constexpr size_t index_entry_capacity() const { return page_size - index_entries; }
};

// Each value is written once, Jet 3 first and Jet 4 second.
constexpr JetFormat MakeJetFormat(JetVersion version) {
  const bool jet3 = version == JetVersion::Jet3;
  auto v = [jet3](size_t in_jet3, size_t in_jet4) { return jet3 ? in_jet3 : in_jet4; };
  JetFormat f;
  f.version = version;
  f.page_size = v(2048, 4096);

  f.data_slot_count = v(8, 12);
  f.data_header_size = v(10, 14);
  f.max_row_size = v(2012, 4060);
  f.max_long_value_row_size = v(2032, 4076);

  f.tdef_page_header_size = v(8, 8);
  f.tdef_page_free_space = v(2, 2);
  f.tdef_next_page = v(4, 4);
  f.tdef_length = v(8, 8);
  f.tdef_row_count = v(12, 16);
  f.tdef_autonumber = v(16, 20);
  f.tdef_table_type = v(20, 40);
  f.tdef_max_columns = v(21, 41);
  f.tdef_var_columns = v(23, 43);
  f.tdef_column_count = v(25, 45);
  f.tdef_logical_index_count = v(27, 47);
  f.tdef_real_index_count = v(31, 51);
  f.tdef_owned_map = v(35, 55);
  f.tdef_free_map = v(39, 59);
  f.tdef_first_block = v(43, 63);
  f.real_index_count_entry = v(8, 12);
  f.real_index_unique_count = v(4, 4);
  f.column_descriptor_size = v(18, 25);
  f.real_index_descriptor_size = v(39, 52);
  f.logical_index_descriptor_size = v(20, 28);

  f.col_type = v(0, 0);
  f.col_number = v(1, 5);
  f.col_var_index = v(3, 7);
  f.col_sort_order = v(9, 11);
  f.col_precision = v(11, 11);
  f.col_scale = v(12, 12);
  f.col_flags = v(13, 15);
  f.col_extra_flags = v(14, 16);
  f.col_fixed_offset = v(14, 21);
  f.col_length = v(16, 23);

  f.real_columns = v(0, 4);
  f.real_usage_map = v(30, 34);
  f.real_root_page = v(34, 38);
  f.real_flags = v(38, 46);
  f.logical_number = v(0, 4);
  f.logical_real_index = v(4, 8);
  f.logical_kind = v(19, 23);

  f.has_magic_numbers = !jet3;
  f.tdef_constant = v(0, 12);
  f.tdef_autonumber_flag = v(0, 24);
  f.col_constant = v(0, 1);
  f.logical_constant = v(0, 0);
  f.col_position = v(5, 9);
  f.logical_related_index = v(9, 13);
  f.logical_cascade_updates = v(17, 21);
  f.logical_cascade_deletes = v(18, 22);
  f.lval_map_entry_size = v(10, 10);
  f.col_code_page = v(11, 0);
  f.col_jet3_one = v(7, 0);
  f.no_cascade = static_cast<uint8_t>(v(0x04, 0x00));
  f.tdef_page_signature = static_cast<uint16_t>(v(0x4356, 0));  // "VC"

  f.usage_map_row_size = v(5 + 128, 5 + 64);
  f.text_bytes_per_char = v(1, 2);
  f.max_binary_length = v(255, 510);
  f.index_flags_always = static_cast<uint8_t>(v(0, kIndexAccess2000));

  f.index_prev = v(8, 12);
  f.index_next = v(12, 16);
  f.index_tail = v(16, 20);
  f.index_prefix = v(20, 24);
  f.index_prefix_size = v(1, 2);
  f.index_unknown_byte = v(21, 26);
  f.index_unknown_u32 = v(0, 8);
  f.index_bitmap = v(22, 27);
  f.index_bitmap_size = v(226, 453);
  f.index_entries = v(0xF8, 0x1E0);

  f.name_length_size = v(1, 2);
  f.row_count_size = v(1, 2);
  return f;
}

inline constexpr JetFormat kJet3Format = MakeJetFormat(JetVersion::Jet3);
inline constexpr JetFormat kJet4Format = MakeJetFormat(JetVersion::Jet4);
// An index page's entries start right after its bitmap, whose bits reach every entry byte.
static_assert(kJet3Format.index_bitmap + kJet3Format.index_bitmap_size == kJet3Format.index_entries &&
              kJet3Format.index_bitmap_size * 8 >= kJet3Format.index_entry_capacity());
static_assert(kJet4Format.index_bitmap + kJet4Format.index_bitmap_size == kJet4Format.index_entries &&
              kJet4Format.index_bitmap_size * 8 >= kJet4Format.index_entry_capacity());

inline const JetFormat& FormatOf(JetVersion version) { return version == JetVersion::Jet3 ? kJet3Format : kJet4Format; }
// The page size alone names the version: for code that is handed a page and its size.
inline const JetFormat& FormatOfPageSize(size_t page_size) {
  return page_size == kJet3Format.page_size ? kJet3Format : kJet4Format;
}

// Page types (byte 0 of a page): every kind of page there is (FORMAT.md, "The file and its
// pages").
inline constexpr uint8_t kPageHeaderOrFreed = 0x00;  // page 0; also a page the engine blanked
inline constexpr uint8_t kPageData = 0x01;
inline constexpr uint8_t kPageTableDefinition = 0x02;
inline constexpr uint8_t kPageIndexNode = 0x03;
inline constexpr uint8_t kPageIndexLeaf = 0x04;
inline constexpr uint8_t kPageUsageBitmap = 0x05;
// Byte 1 of every page in use.
inline constexpr uint8_t kPageInUse = 0x01;
inline constexpr size_t kPageTypeOffset = 0;
inline constexpr size_t kPageInUseOffset = 1;

// How every page the engine writes from scratch begins: zeros, then its type and the in-use
// byte. The writer of each page type fills in the rest.
inline void StartPage(uint8_t* page, size_t page_size, uint8_t type) {
  std::memset(page, 0, page_size);
  page[kPageTypeOffset] = type;
  page[kPageInUseOffset] = kPageInUse;
}
// Data and index pages begin alike, in both versions: the type byte, 0x01, the u16 free space
// and the u32 page of the owning table's definition.
inline constexpr size_t kPageFreeSpaceOffset = 2;
inline constexpr size_t kPageOwnerOffset = 4;

// Constants of the table definition (Jet 4 writes them; readers do not check them).
inline constexpr uint32_t kTdefConstant = 1625;       // at each *_constant offset
inline constexpr uint32_t kRealIndexConstant = 1923;  // first u32 of a Jet 4 real index descriptor
inline constexpr uint8_t kTdefAutonumberFlag = 0x01;  // Access wants it set for autonumbering

// A real index descriptor lists up to ten columns from real_columns on, 3 bytes each:
// u16 column number (kNoIndexColumn = unused slot), u8 flags (0x01 ascending).
inline constexpr size_t kIndexColumnSlots = 10;
inline constexpr size_t kIndexColumnEntrySize = 3;
inline constexpr uint16_t kNoIndexColumn = 0xFFFF;
inline constexpr uint8_t kIndexColumnAscending = 0x01;

// The long-value columns' maps (Jet 4): {u16 column number, u32 owned map, u32 free map}...,
// ended by this column number.
inline constexpr uint16_t kEndOfLongValueMaps = 0xFFFF;

}  // namespace engine::jet
