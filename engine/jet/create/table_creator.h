// Creating a table in a Jet 4 or Jet 3 database, as Jet's CreateTableDef does: a description
// of the columns and indexes becomes
//   - a table definition (TDEF, type 0x02 pages; bytes in tdef_encoder.h),
//   - one data page (owner 0) holding the table's usage maps: owned pages, free-space pages,
//     one per index, and an owned/free pair per memo or OLE column, each 69 bytes in Jet 4
//     and 133 in Jet 3 (inline: 0x00, u32 first page, bitmap),
//   - an empty leaf page (type 0x04, free 3616; 1800 in Jet 3) as the root of every index,
//   - its row in MSysObjects (a table object in the Tables container, Id = TDEF page), entered
//     into MSysObjects' two indexes.
// Layout: FORMAT.md, "New databases and tables".
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/jet/format/format.h"
#include "engine/jet/format/table_definition.h"
#include "engine/jet/storage/page_store.h"
#include "engine/value/value.h"

namespace engine::jet {

struct ColumnSpec {
  std::u16string name;
  ColumnType type = ColumnType::Text;
  uint16_t max_chars = 50;        // text: length in characters (1..255); binary: bytes (1..510; Jet 3 1..255)
  bool autonumber = false;        // long integer only
  bool compressed_unicode = true; // text and memo: Access's "Unicode compression"
  uint8_t precision = 18, scale = 0;  // decimal: digits in all (1..28), digits after the point
  uint8_t flags_override = 0;     // non-zero: descriptor flags as given (system tables)
};

struct IndexColumnSpec {
  std::u16string column;
  bool ascending = true;
};

struct IndexSpec {
  std::u16string name;
  std::vector<IndexColumnSpec> columns;  // 1..10
  bool primary = false;       // in a user table also unique and required, as Access makes it
  bool unique = false;
  bool ignore_nulls = false;
  bool required = false;
};

struct TableSpec {
  std::u16string name;
  std::vector<ColumnSpec> columns;  // in the order the fields are shown
  std::vector<IndexSpec> indexes;
  bool system = false;  // kSystemTableType and Access's system flags in MSysObjects
};

// Column numbers, fixed offsets, variable slots, descriptor flags and index descriptors for a
// new table, without pages yet (usage maps, roots and tdef_page stay 0). Throws engine::Error
// for an impossible description: no columns, duplicate names, a text length outside 1..255,
// an autonumber that is not a long integer, an index naming a missing column or an OLE or
// memo column, more than 10 index columns, two primary keys, rows that cannot fit a page, or
// a decimal column in Jet 3. Laid out for the version of `format`.
TableDefinition LayOutTable(const TableSpec& spec, const JetFormat& format = kJet4Format);

// Hands out pages for a new table: each call gives a new zero-filled writable page that the
// database's global usage map already counts as used.
using PageSource = std::function<PageNumber()>;

// Adds empty inline usage maps (the size Access makes in the store's version: 0x00, u32 first
// page, bitmap) as rows of map pages, data pages owned by no table; starts a new map page when
// one is full.
class UsageMapRows {
 public:
  UsageMapRows(PageStore& store, PageSource new_page) : store_(store), new_page_(std::move(new_page)) {}
  // A map whose window starts at `first_page` rounded down to 8; it lists `first_page`
  // itself when `include_first` is set.
  RowId Add(PageNumber first_page, bool include_first);

 private:
  PageStore& store_;
  PageSource new_page_;
  PageNumber page_;
};

// Writes the table's pages into `store` and fills in their numbers in `table`: its TDEF
// (on new pages unless table.tdef_pages is already set), its usage maps (through `maps`),
// and an empty root leaf per index. Does not touch the catalogue.
void WriteTableStorage(PageStore& store, const PageSource& new_page, UsageMapRows& maps, TableDefinition& table);

// Adds rows to a system table (MSysObjects, MSysACEs) through the table writer, with their
// index entries and the counters in the TDEF; `rows` hold values by position in
// table.columns. Throws engine::Error as TableWriter::AddRow does.
void AddSystemRows(PageStore& store, const TableDefinition& table, const std::vector<std::vector<engine::Value>>& rows,
                   const std::string& file_name);

// The catalogue row of a user or system table, by MSysObjects column position.
std::vector<engine::Value> CatalogueRowForTable(const TableDefinition& msys_objects, const std::u16string& name,
                                                PageNumber tdef_page, bool system, double now_days);

// Adds the table to an open database: its pages and its MSysObjects row (`catalogue` is the
// definition of MSysObjects). Returns the table's definition. Throws
// engine::Error when a table of that name exists (names compare without case, as Access
// does) or the description is impossible.
TableDefinition CreateTable(PageStore& store, const PageSource& new_page, const TableDefinition& catalogue,
                            const TableSpec& spec, const std::string& file_name, double now_days);

// Same on a file: reads it, adds the table, and replaces the file only when everything
// succeeded. Returns the table's TDEF page.
PageNumber CreateTable(const std::filesystem::path& file, const TableSpec& spec);

// The current local time as Jet stores dates (days since 1899-12-30).
double JetNow();

}  // namespace engine::jet
