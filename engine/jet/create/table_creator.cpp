// New tables: layout of the descriptors, the pages a table starts with, and its catalogue row.
// See table_creator.h for the pages; the TDEF bytes are in tdef_encoder.cpp.
#include "engine/jet/create/table_creator.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>

#include "engine/base/bytes.h"
#include "engine/base/error.h"
#include "engine/jet/catalog/catalog.h"
#include "engine/jet/page/data_page_writer.h"
#include "engine/jet/row/decimal_field.h"
#include "engine/jet/format/format.h"
#include "engine/jet/index/index_page.h"
#include "engine/jet/index/index_tree.h"
#include "engine/text/case_fold.h"
#include "engine/jet/storage/header_page.h"
#include "engine/jet/storage/pager.h"
#include "engine/jet/row/row_encoder.h"
#include "engine/jet/index/sort_key.h"
#include "engine/jet/create/system_tables.h"
#include "engine/jet/catalog/table_definition_reader.h"
#include "engine/jet/catalog/tdef_encoder.h"
#include "engine/jet/catalog/tdef_layout.h"
#include "engine/jet/table/table_writer.h"
#include "engine/jet/row/text_codec.h"
#include "engine/jet/page/usage_map.h"
#include "engine/jet/page/usage_map_writer.h"
#include "engine/base/bytes.h"

namespace engine::jet {
namespace {

constexpr size_t kMaxColumns = 255;
constexpr size_t kMaxIndexColumns = 10;
constexpr uint16_t kMaxTextChars = 255;

bool IsFixedType(ColumnType type) {
  switch (type) {
    case ColumnType::Text:
    case ColumnType::Binary:
    case ColumnType::Memo:
    case ColumnType::Ole: return false;
    default: return true;
  }
}

[[noreturn]] void Impossible(const TableSpec& spec, const std::string& reason) {
  throw Error("", "the table \"" + ToUtf8(spec.name) + "\" cannot be created: " + reason, ErrorKind::InvalidValue);
}

void WriteEmptyLeaf(PageStore& store, PageNumber page, PageNumber tdef_page) {
  IndexPage leaf;
  leaf.leaf = true;
  leaf.owner = tdef_page;
  EncodeIndexPage(leaf, store.WritePage(page).data(), store.format());
}

// A Jet 3 definition carries the database's code page and sort order, from its header page.
TdefDatabaseSettings SettingsOf(PageStore& store) {
  if (!store.format().is_jet3()) return {};
  const HeaderPage header =
      DecodeHeaderPage(store.ReadPage(PageNumber(0)).data(), store.page_size(), store.file_name());
  return {header.code_page, header.sort_order};
}

std::vector<uint8_t> EncodeDefinition(PageStore& store, const TableDefinition& table) {
  return EncodeTableDefinition(table, store.format(), SettingsOf(store));
}

void WriteDefinition(PageStore& store, const TableDefinition& table) {
  const std::vector<uint8_t> encoded = EncodeDefinition(store, table);
  for (size_t i = 0; i < table.tdef_pages.size(); ++i) {
    const PageNumber next = i + 1 < table.tdef_pages.size() ? table.tdef_pages[i + 1] : kNoPage;
    WriteTableDefinitionPage(encoded, i, next, store.WritePage(table.tdef_pages[i]).data(), store.format());
  }
}

// Access 97 lists a table's logical indexes by name, letters compared without case.
bool NameBefore(const LogicalIndex& a, const LogicalIndex& b) { return FoldCase(a.name) < FoldCase(b.name); }

}  // namespace

TableDefinition LayOutTable(const TableSpec& spec, const JetFormat& format) {
  if (spec.name.empty()) throw Error("", "a table needs a name", ErrorKind::InvalidValue);
  if (spec.columns.empty()) Impossible(spec, "it has no columns");
  if (spec.columns.size() > kMaxColumns) Impossible(spec, "it has more than 255 columns");
  TableDefinition table;
  table.name = spec.name;
  table.version = format.version;
  table.table_type = spec.system ? kSystemTableType : kUserTableType;
  table.max_columns = static_cast<uint16_t>(spec.columns.size());

  uint16_t fixed_offset = 0, var_index = 0;
  for (size_t i = 0; i < spec.columns.size(); ++i) {
    const ColumnSpec& in = spec.columns[i];
    if (in.name.empty()) Impossible(spec, "a column has no name");
    for (size_t j = 0; j < i; ++j) {
      if (SameName(spec.columns[j].name, in.name))
        Impossible(spec, "two columns are named \"" + ToUtf8(in.name) + "\"");
    }
    if (in.type == ColumnType::Complex) Impossible(spec, "multi-value columns need Access 2007");
    if (in.autonumber && in.type != ColumnType::Long)
      Impossible(spec, "only a long integer column can be an autonumber");
    ColumnDefinition column;
    column.name = in.name;
    column.type = in.type;
    column.number = static_cast<uint16_t>(i);
    const bool fixed = IsFixedType(in.type);
    if (fixed) {
      column.length = static_cast<uint16_t>(FixedSizeOf(in.type));
      column.var_index = var_index;
      // A yes/no value lives in the null mask: no bytes in the fixed area.
      if (in.type != ColumnType::Boolean) {
        column.fixed_offset = fixed_offset;
        fixed_offset = static_cast<uint16_t>(fixed_offset + column.length);
      }
    } else {
      if (in.type == ColumnType::Text) {
        if (in.max_chars < 1 || in.max_chars > kMaxTextChars)
          Impossible(spec, "a text column holds 1 to 255 characters");
        column.length = static_cast<uint16_t>(format.text_bytes_per_char * in.max_chars);
      } else if (in.type == ColumnType::Binary) {
        if (in.max_chars < 1 || in.max_chars > format.max_binary_length) {
          Impossible(spec, "a binary column holds 1 to " + std::to_string(format.max_binary_length) + " bytes");
        }
        column.length = in.max_chars;
      }
      column.var_index = var_index++;
    }
    column.flags = in.flags_override != 0 ? in.flags_override
                                          : static_cast<uint8_t>((fixed ? kColumnFixed : 0) | kColumnNullable |
                                                                 (in.autonumber ? kColumnAutonumber : 0));
    // Jet 3 texts are code-page bytes: nothing to compress.
    if ((in.type == ColumnType::Text || in.type == ColumnType::Memo) && in.compressed_unicode && !format.is_jet3()) {
      column.extra_flags = kColumnCompressedUnicode;
    }
    if (in.type == ColumnType::Numeric) {
      if (format.is_jet3()) Impossible(spec, "decimal columns need Access 2000");
      if (in.precision < 1 || in.precision > kMaxDecimalPrecision || in.scale > in.precision) {
        Impossible(spec, "a decimal column has a precision of 1 to " + std::to_string(kMaxDecimalPrecision) +
                             " digits and a scale no larger than it");
      }
      column.precision = in.precision;
      column.scale = in.scale;
    }
    table.columns.push_back(std::move(column));
  }
  table.var_columns = var_index;
  // Column count, fixed area, and for every variable column at least its offset entry, then
  // eod, count and null mask (offsets and counts one byte wide in Jet 3): this much is in
  // every row.
  const size_t width = format.row_count_size;
  if (width + fixed_offset + width * var_index + 2 * width + (spec.columns.size() + 7) / 8 > format.max_row_size) {
    Impossible(spec, "its fixed-size columns do not fit in a row");
  }

  bool has_primary = false;
  for (size_t i = 0; i < spec.indexes.size(); ++i) {
    const IndexSpec& in = spec.indexes[i];
    if (in.name.empty()) Impossible(spec, "an index has no name");
    for (size_t j = 0; j < i; ++j) {
      if (SameName(spec.indexes[j].name, in.name))
        Impossible(spec, "two indexes are named \"" + ToUtf8(in.name) + "\"");
    }
    if (in.columns.empty() || in.columns.size() > kMaxIndexColumns) {
      Impossible(spec, "the index \"" + ToUtf8(in.name) + "\" must have 1 to 10 columns");
    }
    if (in.primary && has_primary) Impossible(spec, "it has two primary keys");
    has_primary = has_primary || in.primary;
    RealIndex real;
    real.number = static_cast<uint32_t>(i);
    real.count_offset = UniqueCountOffset(format, i);
    for (const IndexColumnSpec& part : in.columns) {
      auto found = std::find_if(table.columns.begin(), table.columns.end(),
                                [&](const ColumnDefinition& c) { return SameName(c.name, part.column); });
      if (found == table.columns.end()) {
        Impossible(spec,
                   "the index \"" + ToUtf8(in.name) + "\" names the missing column \"" + ToUtf8(part.column) + "\"");
      }
      if (!IsIndexableType(found->type) || found->type == ColumnType::Memo) {
        Impossible(spec, "the column \"" + ToUtf8(found->name) + "\" cannot be indexed");
      }
      real.columns.push_back({found->number, part.ascending});
    }
    // Access makes a primary key unique and required; system tables keep their own flags.
    const bool primary_rules = in.primary && !spec.system;
    real.flags = static_cast<uint8_t>(format.index_flags_always | (in.unique || in.primary ? kIndexUnique : 0) |
                                      (in.ignore_nulls ? kIndexIgnoreNulls : 0) |
                                      (in.required || primary_rules ? kIndexRequired : 0));
    table.real_indexes.push_back(std::move(real));
    LogicalIndex logical;
    logical.name = in.name;
    logical.number = static_cast<uint32_t>(i);
    logical.real_index = static_cast<uint32_t>(i);
    logical.kind = in.primary ? kLogicalPrimaryKey : 0;
    table.logical_indexes.push_back(std::move(logical));
  }
  if (format.is_jet3()) std::stable_sort(table.logical_indexes.begin(), table.logical_indexes.end(), NameBefore);
  return table;
}

RowId UsageMapRows::Add(PageNumber first_page, bool include_first) {
  std::string row(store_.format().usage_map_row_size, '\0');
  uint8_t* bytes = reinterpret_cast<uint8_t*>(row.data());
  const uint32_t start = first_page.value() & ~7u;
  StartInlineMap(bytes, row.size(), start);
  if (include_first) SetMapBit(bytes + kInlineMapHeader, first_page.value() - start, true);
  if (page_.is_none() || !DataPageHasRoom(store_.ReadPage(page_).data(), row.size(), store_.page_size())) {
    page_ = new_page_();
    InitDataPage(store_.WritePage(page_).data(), store_.page_size(), 0);
  }
  const uint8_t slot = AppendRowToPage(store_.WritePage(page_).data(), store_.page_size(), row);
  return {page_, slot};
}

void WriteTableStorage(PageStore& store, const PageSource& new_page, UsageMapRows& maps, TableDefinition& table) {
  if (table.tdef_pages.empty()) {
    // Pointers and page numbers do not change the definition's size, so the page count is known.
    const size_t count = TableDefinitionPageCount(EncodeDefinition(store, table).size(), store.format());
    for (size_t i = 0; i < count; ++i) table.tdef_pages.push_back(new_page());
  }
  table.tdef_page = table.tdef_pages.front();

  // The table's data pages will come after the pages made now, so its maps' windows start here.
  const PageNumber data_start(store.page_count());
  table.owned_pages = maps.Add(data_start, false);
  table.free_space_pages = maps.Add(data_start, false);
  for (ColumnDefinition& column : table.columns) {
    if (!column.is_long_value()) continue;
    column.lval_owned_map = maps.Add(data_start, false);
    column.lval_free_map = maps.Add(data_start, false);
  }
  for (RealIndex& index : table.real_indexes) {
    index.root_page = new_page();
    WriteEmptyLeaf(store, index.root_page, table.tdef_page);
    index.usage_map = maps.Add(index.root_page, true);
  }
  WriteDefinition(store, table);
}

void AddSystemRows(PageStore& store, const TableDefinition& table, const std::vector<std::vector<Value>>& rows,
                   const std::string& file_name) {
  TableWriter writer(store, table, TextLocale{}, file_name, {}, IndexPageReuse::NewPagesOnly);
  for (const std::vector<Value>& row : rows) writer.AddRow(row);
  writer.Flush();
}

std::vector<Value> CatalogueRowForTable(const TableDefinition& msys_objects, const std::u16string& name,
                                        PageNumber tdef_page, bool system, double now_days) {
  std::vector<Value> row(msys_objects.columns.size());
  auto set = [&](const char16_t* column, Value value) {
    for (size_t i = 0; i < msys_objects.columns.size(); ++i) {
      if (msys_objects.columns[i].name == column) {
        row[i] = std::move(value);
        return;
      }
    }
    throw Error("", "MSysObjects has no column " + ToUtf8(column), ErrorKind::Damaged);
  };
  set(u"Id", Value::Integer(tdef_page.value()));  // a table's object id is its TDEF page
  set(u"ParentId", Value::Integer(kTablesId));
  set(u"Name", Value::Text(name));
  set(u"Type", Value::Integer(kObjectTypeTable));
  set(u"DateCreate", Value::DateTime({now_days}));
  set(u"DateUpdate", Value::DateTime({now_days}));
  // The creator's security id, as in the system objects of a new database.
  set(u"Owner", Value::Bytes(SecurityIdsOf(msys_objects.version).creator));
  set(u"Flags", Value::Integer(system ? static_cast<int32_t>(kSystemObjectFlag) : 0));
  return row;
}

TableDefinition CreateTable(PageStore& store, const PageSource& new_page, const TableDefinition& catalogue,
                            const TableSpec& spec, const std::string& file_name, double now_days) {
  TableDefinition table;
  try {
    table = LayOutTable(spec, store.format());
  } catch (const Error& error) {
    throw error.Within(file_name);
  }
  // The (ParentId, Name) index finds a name whatever its case: its text keys ignore case.
  std::vector<Value> probe = CatalogueRowForTable(catalogue, spec.name, kNoPage, spec.system, now_days);
  for (const RealIndex& index : catalogue.real_indexes) {
    if (index.columns.size() != 2) continue;
    IndexTree tree(store, index.root_page, catalogue.tdef_page, nullptr, nullptr, file_name);
    if (tree.Contains(EncodeIndexKey(catalogue, index, probe))) {
      throw Error(file_name, "a table named \"" + ToUtf8(spec.name) + "\" already exists", ErrorKind::Duplicate);
    }
  }
  UsageMapRows maps(store, new_page);
  WriteTableStorage(store, new_page, maps, table);
  AddSystemRows(store, catalogue, {CatalogueRowForTable(catalogue, spec.name, table.tdef_page, spec.system, now_days)},
                file_name);
  return table;
}

PageNumber CreateTable(const std::filesystem::path& file, const TableSpec& spec) {
  // Through the pager's rollback journal: the file changes only at Commit, all at once.
  // A file the table writer cannot write yet refuses at the catalogue row, and rolls back.
  std::unique_ptr<Pager> pager = Pager::Open(file, OpenMode::ReadWrite);
  const TextDecoder text(pager->format().version, pager->header().code_page, file.string());
  TableDefinition catalogue = ReadTableDefinition(*pager, text, kCatalogTdefPage, u"MSysObjects");
  PageAllocator allocator(*pager);
  const PageSource new_page = [&] { return allocator.Allocate(); };
  try {
    const TableDefinition table = CreateTable(*pager, new_page, catalogue, spec, file.string(), JetNow());
    pager->Commit();
    return table.tdef_page;
  } catch (...) {
    pager->Rollback();
    throw;
  }
}

double JetNow() {
  // Seconds since 1970 in local time, as Access stamps its objects.
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const double local_seconds = static_cast<double>(now) + static_cast<double>(local.tm_gmtoff);
  constexpr double kDaysFrom1899To1970 = 25569.0;
  return kDaysFrom1899To1970 + local_seconds / 86400.0;
}

}  // namespace engine::jet
