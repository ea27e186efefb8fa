// TDEF encoding: see tdef_encoder.h. Every offset comes from the JetFormat, so the reader and
// this writer cannot disagree about where a field sits.
#include "engine/jet/catalog/tdef_encoder.h"

#include <algorithm>
#include <string>

#include "engine/base/bytes.h"
#include "engine/base/error.h"
#include "engine/jet/catalog/tdef_layout.h"
#include "engine/text/code_page.h"
#include "engine/text/utf.h"

namespace engine::jet {
namespace {

constexpr uint32_t kNoRelatedIndex = 0xFFFFFFFF;
constexpr uint16_t kJet3ColumnOne = 1;  // in every column of an Access 97 file

uint8_t* Grow(std::vector<uint8_t>& out, size_t size) {
  out.resize(out.size() + size, 0);
  return out.data() + out.size() - size;
}

// A Jet 3 name's byte in the code page: ASCII as it is, others found in the code page's upper
// half. Names are the creator's own, so one the code page cannot hold is refused, not changed.
uint8_t CodePageByte(char16_t c, const char16_t* upper_half, const std::u16string& name) {
  if (c > 0 && c < 0x80) return static_cast<uint8_t>(c);
  for (size_t i = 0; upper_half && i < 128; ++i) {
    if (upper_half[i] == c && c != u'\uFFFD') return static_cast<uint8_t>(0x80 + i);
  }
  throw Error("", "the name \"" + ToUtf8(name) + "\" has a character the database's code page cannot hold",
              ErrorKind::InvalidValue);
}

void AppendName(std::vector<uint8_t>& out, const std::u16string& name, const JetFormat& f,
                const TdefDatabaseSettings& settings) {
  if (f.name_length_size == 1) {
    if (name.size() > 0xFF) throw Error("", "the name \"" + ToUtf8(name) + "\" is too long", ErrorKind::InvalidValue);
    const char16_t* upper_half = UpperHalfOf(settings.code_page);
    out.push_back(static_cast<uint8_t>(name.size()));
    for (char16_t c : name) out.push_back(CodePageByte(c, upper_half, name));
    return;
  }
  const size_t at = out.size();
  out.resize(at + f.name_length_size + 2 * name.size());
  PutU16(&out[at], static_cast<uint16_t>(2 * name.size()));
  for (size_t i = 0; i < name.size(); ++i) PutU16(&out[at + f.name_length_size + 2 * i], name[i]);
}

void EncodeColumn(uint8_t* d, const ColumnDefinition& column, size_t position, bool system, const JetFormat& f,
                  const TdefDatabaseSettings& settings) {
  d[f.col_type] = static_cast<uint8_t>(column.type);
  if (f.has_magic_numbers) PutU32(d + f.col_constant, kTdefConstant);
  PutU16(d + f.col_number, column.number);
  PutU16(d + f.col_var_index, column.var_index);
  // Access numbers user columns by position here and leaves 0 in system tables.
  PutU16(d + f.col_position, system ? 0 : static_cast<uint16_t>(position));
  if (f.col_code_page != 0) {
    // Access 97 writes the database's sort order and code page into every column.
    PutU16(d + f.col_jet3_one, kJet3ColumnOne);
    PutU16(d + f.col_sort_order, settings.sort_order);
    PutU16(d + f.col_code_page, settings.code_page);
  } else if (column.type == ColumnType::Numeric) {
    d[f.col_precision] = column.precision;
    d[f.col_scale] = column.scale;
  } else {
    // Access writes the sort order into every column, numbers included.
    PutU16(d + f.col_sort_order, column.sort_order);
    d[f.col_sort_order + 3] = column.sort_version;
  }
  d[f.col_flags] = column.flags;
  if (f.has_magic_numbers) d[f.col_extra_flags] = column.extra_flags;
  PutU16(d + f.col_fixed_offset, column.fixed_offset);
  PutU16(d + f.col_length, column.length);
}

void EncodeRealIndex(uint8_t* d, const RealIndex& index, const JetFormat& f) {
  if (f.has_magic_numbers) PutU32(d, kRealIndexConstant);
  for (size_t slot = 0; slot < kIndexColumnSlots; ++slot) {
    uint8_t* entry = d + f.real_columns + kIndexColumnEntrySize * slot;
    if (slot < index.columns.size()) {
      PutU16(entry, index.columns[slot].column_number);
      entry[2] = index.columns[slot].ascending ? kIndexColumnAscending : 0;
    } else {
      PutU16(entry, kNoIndexColumn);
    }
  }
  PutU32(d + f.real_usage_map, index.usage_map.packed());
  PutPageNumber(d + f.real_root_page, index.root_page);
  d[f.real_flags] = index.flags;
}

void EncodeLogicalIndex(uint8_t* d, const LogicalIndex& index, const JetFormat& f) {
  if (f.has_magic_numbers) PutU32(d + f.logical_constant, kTdefConstant);
  PutU32(d + f.logical_number, index.number);
  PutU32(d + f.logical_real_index, index.real_index);
  PutU32(d + f.logical_related_index, kNoRelatedIndex);
  d[f.logical_cascade_updates] = f.no_cascade;
  d[f.logical_cascade_deletes] = f.no_cascade;
  d[f.logical_kind] = index.kind;
}

}  // namespace

std::vector<uint8_t> EncodeTableDefinition(const TableDefinition& table, const JetFormat& f,
                                           const TdefDatabaseSettings& settings) {
  std::vector<uint8_t> out(f.tdef_first_block, 0);
  uint8_t* block = out.data();
  if (f.has_magic_numbers) {
    PutU32(block + f.tdef_constant, kTdefConstant);
    block[f.tdef_autonumber_flag] = kTdefAutonumberFlag;
  }
  PutU32(block + f.tdef_row_count, table.row_count);
  PutU32(block + f.tdef_autonumber, table.autonumber);
  block[f.tdef_table_type] = table.table_type;
  PutU16(block + f.tdef_max_columns, table.max_columns);
  PutU16(block + f.tdef_var_columns, table.var_columns);
  PutU16(block + f.tdef_column_count, static_cast<uint16_t>(table.columns.size()));
  PutU32(block + f.tdef_logical_index_count, static_cast<uint32_t>(table.logical_indexes.size()));
  PutU32(block + f.tdef_real_index_count, static_cast<uint32_t>(table.real_indexes.size()));
  PutU32(block + f.tdef_owned_map, table.owned_pages.packed());
  PutU32(block + f.tdef_free_map, table.free_space_pages.packed());

  for (const RealIndex& index : table.real_indexes) {
    PutU32(Grow(out, f.real_index_count_entry) + f.real_index_unique_count, index.unique_entry_count);
  }
  const bool system = table.table_type != kUserTableType;
  for (size_t position = 0; position < table.columns.size(); ++position) {
    EncodeColumn(Grow(out, f.column_descriptor_size), table.columns[position], position, system, f, settings);
  }
  for (const ColumnDefinition& column : table.columns) AppendName(out, column.name, f, settings);
  for (const RealIndex& index : table.real_indexes) EncodeRealIndex(Grow(out, f.real_index_descriptor_size), index, f);
  for (const LogicalIndex& index : table.logical_indexes) {
    EncodeLogicalIndex(Grow(out, f.logical_index_descriptor_size), index, f);
  }
  for (const LogicalIndex& index : table.logical_indexes) AppendName(out, index.name, f, settings);

  for (const ColumnDefinition& column : table.columns) {
    if (!column.is_long_value()) continue;
    uint8_t* d = Grow(out, f.lval_map_entry_size);
    PutU16(d, column.number);
    PutU32(d + 2, column.lval_owned_map.packed());
    PutU32(d + 6, column.lval_free_map.packed());
  }
  PutU16(Grow(out, 2), kEndOfLongValueMaps);

  PutU32(out.data() + f.tdef_length, static_cast<uint32_t>(out.size()));
  return out;
}

size_t TableDefinitionPageCount(size_t encoded_size, const JetFormat& format) {
  return TdefPageCount(format, encoded_size);
}

void WriteTableDefinitionPage(const std::vector<uint8_t>& encoded, size_t index, PageNumber next_page, uint8_t* page,
                              const JetFormat& f) {
  StartPage(page, f.page_size, kPageTableDefinition);
  // The buffer's own first bytes stand for the first page's header, so every page copies
  // its share of the buffer after its header.
  const size_t from = FirstOffsetOnTdefPage(f, index);
  const size_t to = std::min(encoded.size(), from + f.page_size - f.tdef_page_header_size);
  std::copy(encoded.begin() + static_cast<std::ptrdiff_t>(from), encoded.begin() + static_cast<std::ptrdiff_t>(to),
            page + f.tdef_page_header_size);
  if (f.tdef_page_signature != 0) {
    PutU16(page + f.tdef_page_free_space, f.tdef_page_signature);
  } else {
    // Unused bytes minus the header size; 0 on a page with fewer left (a full first page of a chain).
    const size_t unused = f.page_size - (f.tdef_page_header_size + (to - from));
    PutU16(page + f.tdef_page_free_space,
           static_cast<uint16_t>(unused <= f.tdef_page_header_size ? 0 : unused - f.tdef_page_header_size));
  }
  PutPageNumber(page + f.tdef_next_page, next_page);
}

}  // namespace engine::jet
