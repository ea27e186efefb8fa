// Adding rows to a table and emptying it, with every index kept in step, in Access 97 and
// Access 2000 tables alike.
//
// Before its first change the writer checks what every change relies on: the definition's
// pages and counters, every usage map of the table, and every index tree whole (the walk
// that finds an index's spare pages reads them all anyway). Pages met later (a data page
// with room, a long value's rows) are checked as they are met. Whatever does not check out
// throws ErrorKind::Damaged before anything is written on its account.
//
// Every check (conversion, rules, relationships, lengths, Nulls in required indexes, duplicates in unique
// indexes, row size) happens in Prepare, before any page changes; Store then only writes:
// the row and its long values, one entry in every real index, and the TDEF counters (row
// count, last autonumber, unique-entry counts), which are read from the TDEF page each time,
// so a rollback of the pages is a rollback of the counters too.
//
// The work is done by the parts below, each owning its own state; this class puts them in
// order. Rules: FORMAT.md, "Data pages", "Table definitions (TDEF)" and "Index trees".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/error.h"
#include "engine/jet/catalog/tdef_counters.h"
#include "engine/jet/format/table_definition.h"
#include "engine/jet/rules/table_rules.h"
#include "engine/jet/storage/page_store.h"
#include "engine/jet/table/index_pages.h"
#include "engine/jet/table/index_set.h"
#include "engine/jet/table/new_row_values.h"
#include "engine/jet/table/row_store.h"
#include "engine/jet/table/table_purge.h"
#include "engine/text/text_locale.h"
#include "engine/value/value.h"

namespace engine::jet {

class RelationshipKeeper;

class TableWriter {
 public:
  // `file_name` labels errors; `rules` come from the table's properties.
  TableWriter(PageStore& store, TableDefinition table, TextLocale locale, std::string file_name,
              TableRules rules = {}, IndexPageReuse reuse = IndexPageReuse::SparePages);
  // The parts keep references to table().
  TableWriter(const TableWriter&) = delete;
  TableWriter& operator=(const TableWriter&) = delete;

  const TableDefinition& table() const { return table_; }

  // The values a new record starts with: the columns' defaults (see TableRules).
  std::vector<Value> NewRecord() { return values_.Defaults(); }

  // Why the engine must not write this table, or nothing.
  std::optional<std::string> ReadOnlyReason() const;

  // A row that passed every check, ready to store.
  struct PreparedRow {
    std::vector<Value> values;  // by column position, converted to each column's type
    std::optional<uint32_t> new_autonumber;
    RowStore::EncodedRow row;
    IndexKeys keys;
  };

  // Converts the values (by column position; missing ones are Null) and checks the row:
  // the table's rules and relationships, then the row's size and its index keys.
  // Throws engine::Error; nothing is written.
  PreparedRow Prepare(std::vector<Value> values);
  // Writes a prepared row: data page, long values, index entries, TDEF counters.
  RowId Store(PreparedRow row);
  RowId AddRow(std::vector<Value> values) { return Store(Prepare(std::move(values))); }

  // "DELETE * FROM" (see TablePurge), this table alone: relationships are the keeper's.
  void DeleteAll();
  // These rows only (see TablePurge::DeleteRows); returns how many were deleted.
  long DeleteRows(const RowSet& rows);

  // The relationships every new row is checked against (see RelationshipKeeper); none
  // until set. The keeper must outlive the writer.
  void KeepRelationships(RelationshipKeeper* keeper) { relationships_ = keeper; }

  // Index changes are kept in memory between rows (batched, as Access does) and written to
  // the store by Flush, which must run before every commit. After the store rolls back the
  // cached pages must be dropped.
  void Flush() { indexes_.Flush(); }
  void ForgetCachedPages();

  // WHERE [column] = literal through a single-column index on a text column, seeing the
  // batched index changes; nothing when no such index can answer (the caller scans then).
  std::optional<std::vector<RowId>> FindEqual(int position, std::u16string_view literal);
  // The rows whose columns at `positions` hold `values` (by column position, converted),
  // through an index on exactly those columns, seeing the batched changes; nothing when no
  // such index can answer (the caller scans then).
  std::optional<std::vector<RowId>> FindKey(const std::vector<int>& positions, const std::vector<Value>& values);

 private:
  void CheckBeforeWriting();
  [[noreturn]] void Fail(const std::string& reason, ErrorKind kind) const;

  PageStore& store_;
  TableDefinition table_;  // the parts below read this one
  std::string file_name_;
  // A table whose definition is in the file's own version; decided once, when the writer is
  // made. The refusal itself comes from ReadOnlyReason, when a row is added or the table
  // emptied: a writer is also made to read a table it may not change (a new record's
  // defaults, a lookup).
  bool writes_this_format_;
  bool checked_ = false;  // CheckBeforeWriting passed

  TdefCounters counters_;  // row count, last autonumber, unique-entry counts
  NewRowValues values_;    // conversion, autonumbers, the table's rules
  RowStore rows_;          // the row's fields and size; data pages and long values
  IndexSet indexes_;       // keys and their refusals, trees, spare pages, lookups
  TablePurge purge_;       // DELETE *
  RelationshipKeeper* relationships_ = nullptr;
};

}  // namespace engine::jet
