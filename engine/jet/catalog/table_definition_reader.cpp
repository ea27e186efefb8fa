// TDEF decoding: see table_definition_reader.h and format.h.
#include "engine/jet/catalog/table_definition_reader.h"

#include <algorithm>
#include <string>

#include "engine/base/bytes.h"
#include "engine/jet/catalog/tdef_layout.h"
#include "engine/jet/format/byte_reader.h"
#include "engine/value/value.h"

namespace engine::jet {
namespace {

// Reads a name: u8 length + code-page bytes (Jet 3) or u16 length + UCS-2 (Jet 4).
std::u16string ReadName(const ByteReader& in, size_t& pos, const JetFormat& f, const TextDecoder& text) {
  size_t length = f.name_length_size == 1 ? in.U8(pos, "a name") : in.U16(pos, "a name");
  pos += f.name_length_size;
  const uint8_t* bytes = in.Bytes(pos, length, "a name");
  pos += length;
  return text.Decode(bytes, length);
}

}  // namespace

std::vector<uint8_t> LoadTableDefinitionBytes(PageStore& pager, PageNumber first_page, std::vector<PageNumber>* chain) {
  const JetFormat& f = pager.format();
  std::vector<uint8_t> buffer;
  std::vector<PageNumber> pages;
  std::vector<bool> visited;  // by page number: a chain through every page stays linear
  PageNumber page_number = first_page;
  while (true) {
    const PageRef held = pager.ReadPage(page_number);  // checks the page number first
    const uint8_t* page = held.data();
    if (visited.empty()) visited.resize(pager.page_count());
    if (visited[page_number.value()]) pager.Damaged("a table definition's pages form a loop");
    visited[page_number.value()] = true;
    if (page[0] != kPageTableDefinition) {
      pager.Damaged("page " + to_string(page_number) + " should hold a table definition but does not");
    }
    pages.push_back(page_number);
    if (pages.size() == 1) {
      buffer.assign(page, page + pager.page_size());
    } else {
      buffer.insert(buffer.end(), page + f.tdef_page_header_size, page + pager.page_size());
    }
    page_number = GetPageNumber(page + f.tdef_next_page);
    if (page_number.is_none()) break;
  }
  if (chain) *chain = std::move(pages);
  return buffer;
}

TableDefinition ReadTableDefinition(PageStore& pager, const TextDecoder& text, PageNumber first_page,
                                    std::u16string name) {
  const JetFormat& f = pager.format();
  TableDefinition def;
  def.name = std::move(name);
  def.tdef_page = first_page;
  def.version = f.version;
  def.code_page = pager.header().code_page;
  std::vector<uint8_t> buffer = LoadTableDefinitionBytes(pager, first_page, &def.tdef_pages);
  const ByteReader in(buffer.data(), buffer.size(), pager.file_name());

  def.row_count = in.U32(f.tdef_row_count, "table definition");
  def.autonumber = in.U32(f.tdef_autonumber, "table definition");
  def.table_type = in.U8(f.tdef_table_type, "table definition");
  def.max_columns = in.U16(f.tdef_max_columns, "table definition");
  def.var_columns = in.U16(f.tdef_var_columns, "table definition");
  const size_t column_count = in.U16(f.tdef_column_count, "table definition");
  const size_t logical_count = in.U32(f.tdef_logical_index_count, "table definition");
  const size_t real_count = in.U32(f.tdef_real_index_count, "table definition");
  def.owned_pages = RowId::FromPacked(in.U32(f.tdef_owned_map, "table definition"));
  def.free_space_pages = RowId::FromPacked(in.U32(f.tdef_free_map, "table definition"));

  // Every count must fit in the buffer before anything is allocated for it.
  if (real_count > buffer.size() / f.real_index_descriptor_size ||
      logical_count > buffer.size() / f.logical_index_descriptor_size ||
      column_count > buffer.size() / f.column_descriptor_size) {
    pager.Damaged("a table definition has impossible counts");
  }

  size_t pos = f.tdef_first_block;
  std::vector<uint32_t> unique_counts(real_count);
  std::vector<size_t> count_offsets(real_count);
  for (size_t i = 0; i < real_count; ++i) {
    count_offsets[i] = UniqueCountOffset(f, i);
    unique_counts[i] = in.U32(count_offsets[i], "table definition");
  }
  pos += real_count * f.real_index_count_entry;

  def.columns.resize(column_count);
  for (ColumnDefinition& column : def.columns) {
    in.Require(pos, f.column_descriptor_size, "a column descriptor");
    const uint8_t* d = buffer.data() + pos;
    column.type = static_cast<ColumnType>(d[f.col_type]);
    column.number = GetU16(d + f.col_number);
    column.var_index = GetU16(d + f.col_var_index);
    column.flags = d[f.col_flags];
    column.fixed_offset = GetU16(d + f.col_fixed_offset);
    column.length = GetU16(d + f.col_length);
    if (column.type == ColumnType::Numeric) {
      column.precision = d[f.col_precision];
      column.scale = d[f.col_scale];
    }
    if (f.is_jet3()) {
      column.extra_flags = 0;
      column.sort_order = pager.header().sort_order;
      column.code_page_text = true;
      column.code_page = pager.header().code_page;
    } else {
      column.extra_flags = d[f.col_extra_flags];
      if (column.type == ColumnType::Text || column.type == ColumnType::Memo) {
        column.sort_order = GetU16(d + f.col_sort_order);
        column.sort_version = d[f.col_sort_order + 3];
      }
    }
    pos += f.column_descriptor_size;
  }
  for (ColumnDefinition& column : def.columns) column.name = ReadName(in, pos, f, text);

  def.real_indexes.resize(real_count);
  for (size_t i = 0; i < real_count; ++i) {
    RealIndex& index = def.real_indexes[i];
    in.Require(pos, f.real_index_descriptor_size, "an index descriptor");
    const uint8_t* d = buffer.data() + pos;
    index.number = static_cast<uint32_t>(i);
    index.count_offset = count_offsets[i];
    index.unique_entry_count = unique_counts[i];
    for (size_t c = 0; c < kIndexColumnSlots; ++c) {
      const uint8_t* entry = d + f.real_columns + kIndexColumnEntrySize * c;
      const uint16_t number = GetU16(entry);
      if (number == kNoIndexColumn) continue;
      index.columns.push_back({number, (entry[2] & kIndexColumnAscending) != 0});
    }
    index.usage_map = RowId::FromPacked(GetU32(d + f.real_usage_map));
    index.root_page = GetPageNumber(d + f.real_root_page);
    index.flags = d[f.real_flags];
    pos += f.real_index_descriptor_size;
  }

  def.logical_indexes.resize(logical_count);
  for (LogicalIndex& index : def.logical_indexes) {
    in.Require(pos, f.logical_index_descriptor_size, "an index descriptor");
    const uint8_t* d = buffer.data() + pos;
    index.number = GetU32(d + f.logical_number);
    index.real_index = GetU32(d + f.logical_real_index);
    index.kind = d[f.logical_kind];
    if (index.real_index >= real_count) pager.Damaged("an index refers to a missing index tree");
    pos += f.logical_index_descriptor_size;
  }
  for (LogicalIndex& index : def.logical_indexes) index.name = ReadName(in, pos, f, text);

  // Each long-value column's own usage maps follow (in the files of Access 97 too); older
  // files simply end here.
  const size_t definition_end = std::min<size_t>(in.U32(f.tdef_length, "table definition"), buffer.size());
  while (pos + f.lval_map_entry_size <= definition_end) {
    const uint16_t number = in.U16(pos, "long value maps");
    if (number == kEndOfLongValueMaps) break;
    const int position = def.PositionOfNumber(number);
    if (position >= 0) {
      def.columns[position].lval_owned_map = RowId::FromPacked(GetU32(buffer.data() + pos + 2));
      def.columns[position].lval_free_map = RowId::FromPacked(GetU32(buffer.data() + pos + 6));
    }
    pos += f.lval_map_entry_size;
  }

  std::stable_sort(def.columns.begin(), def.columns.end(),
                   [](const ColumnDefinition& a, const ColumnDefinition& b) { return a.number < b.number; });
  for (const ColumnDefinition& column : def.columns) {
    if (column.type == ColumnType::Complex) {
      throw Error(pager.file_name(), "the table \"" + ToUtf8(def.name) +
                                         "\" has a multi-value or attachment column, which needs Access 2007 or later",
                  ErrorKind::UnsupportedFormat);
    }
  }
  return def;
}

}  // namespace engine::jet
