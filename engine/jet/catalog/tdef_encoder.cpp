// TDEF encoding: see tdef_encoder.h. Every offset comes from kJet4Format, so the reader and
// this writer cannot disagree about where a field sits.
#include "engine/jet/catalog/tdef_encoder.h"

#include <algorithm>

#include "engine/base/bytes.h"
#include "engine/jet/catalog/tdef_layout.h"
#include "engine/jet/format/format.h"

namespace engine::jet {
namespace {

constexpr const JetFormat& kFormat = kJet4Format;
constexpr uint32_t kNoRelatedIndex = 0xFFFFFFFF;

void AppendName(std::vector<uint8_t>& out, const std::u16string& name) {
  const size_t at = out.size();
  out.resize(at + kFormat.name_length_size + 2 * name.size());
  PutU16(&out[at], static_cast<uint16_t>(2 * name.size()));
  for (size_t i = 0; i < name.size(); ++i) PutU16(&out[at + kFormat.name_length_size + 2 * i], name[i]);
}

uint8_t* Grow(std::vector<uint8_t>& out, size_t size) {
  out.resize(out.size() + size, 0);
  return out.data() + out.size() - size;
}

}  // namespace

std::vector<uint8_t> EncodeTableDefinition(const TableDefinition& table) {
  const JetFormat& f = kFormat;
  std::vector<uint8_t> out(f.tdef_first_block, 0);
  uint8_t* block = out.data();
  PutU32(block + f.tdef_constant, kTdefConstant);
  PutU32(block + f.tdef_row_count, table.row_count);
  PutU32(block + f.tdef_autonumber, table.autonumber);
  block[f.tdef_autonumber_flag] = kTdefAutonumberFlag;
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
    const ColumnDefinition& column = table.columns[position];
    uint8_t* d = Grow(out, f.column_descriptor_size);
    d[f.col_type] = static_cast<uint8_t>(column.type);
    PutU32(d + f.col_constant, kTdefConstant);
    PutU16(d + f.col_number, column.number);
    PutU16(d + f.col_var_index, column.var_index);
    // Access numbers user columns by position here and leaves 0 in system tables.
    PutU16(d + f.col_position, system ? 0 : static_cast<uint16_t>(position));
    if (column.type == ColumnType::Numeric) {
      d[f.col_precision] = column.precision;
      d[f.col_scale] = column.scale;
    } else {
      // Access writes the sort order into every column, numbers included.
      PutU16(d + f.col_sort_order, column.sort_order);
      d[f.col_sort_order + 3] = column.sort_version;
    }
    d[f.col_flags] = column.flags;
    d[f.col_extra_flags] = column.extra_flags;
    PutU16(d + f.col_fixed_offset, column.fixed_offset);
    PutU16(d + f.col_length, column.length);
  }
  for (const ColumnDefinition& column : table.columns) AppendName(out, column.name);

  for (const RealIndex& index : table.real_indexes) {
    uint8_t* d = Grow(out, f.real_index_descriptor_size);
    PutU32(d, kRealIndexConstant);
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
  for (const LogicalIndex& index : table.logical_indexes) {
    uint8_t* d = Grow(out, f.logical_index_descriptor_size);
    PutU32(d + f.logical_constant, kTdefConstant);
    PutU32(d + f.logical_number, index.number);
    PutU32(d + f.logical_real_index, index.real_index);
    PutU32(d + f.logical_related_index, kNoRelatedIndex);
    d[f.logical_kind] = index.kind;
  }
  for (const LogicalIndex& index : table.logical_indexes) AppendName(out, index.name);

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

size_t TableDefinitionPageCount(size_t encoded_size) { return TdefPageCount(kFormat, encoded_size); }

void WriteTableDefinitionPage(const std::vector<uint8_t>& encoded, size_t index, PageNumber next_page, uint8_t* page) {
  const JetFormat& f = kFormat;
  StartPage(page, f.page_size, kPageTableDefinition);
  // The buffer's own first bytes stand for the first page's header, so every page copies
  // its share of the buffer after its header.
  const size_t from = FirstOffsetOnTdefPage(f, index);
  const size_t to = std::min(encoded.size(), from + f.page_size - f.tdef_page_header_size);
  std::copy(encoded.begin() + static_cast<std::ptrdiff_t>(from), encoded.begin() + static_cast<std::ptrdiff_t>(to),
            page + f.tdef_page_header_size);
  const size_t used = f.tdef_page_header_size + (to - from);
  // Unused bytes minus the header size; 0 on a page with fewer left (a full first page of a chain).
  const size_t unused = f.page_size - used;
  PutU16(page + f.tdef_page_free_space, static_cast<uint16_t>(unused <= f.tdef_page_header_size ? 0 : unused - f.tdef_page_header_size));
  PutPageNumber(page + f.tdef_next_page, next_page);
}

}  // namespace engine::jet
