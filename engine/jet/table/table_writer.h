// Adding rows to a Jet 4 table and emptying it, with every index kept in step.
//
// Before its first change the writer checks what every change relies on: the definition's
// pages and counters, every usage map of the table, and every index tree whole (the walk
// that finds an index's spare pages reads them all anyway). Pages met later (a data page
// with room, a long value's rows) are checked as they are met. Whatever does not check out
// throws ErrorKind::Damaged before anything is written on its account.
//
// Adding a row touches: the row's data page (and maybe a new one, with the table's owned and
// free-space maps and the global map), LVAL pages for long memo/OLE values, one entry in every
// real index (index pages, the index's usage map), and in the first TDEF page the row count
// (@16), the last autonumber handed out (@20) and each real index's unique-entry count. The
// counters are read from the TDEF page each time, never from a cached copy, so a rollback of
// the pages is a rollback of the counters too.
//
// Every check (conversion, lengths, Nulls in required indexes, duplicates in unique indexes,
// row size) happens in Prepare, before any page changes; Store then only writes.
// Rules: FORMAT.md, "Data pages", "Table definitions (TDEF)" (the counters) and "Index trees".
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/error.h"
#include "engine/jet/catalog/tdef_counters.h"
#include "engine/jet/page/data_page_writer.h"
#include "engine/jet/index/index_tree.h"
#include "engine/jet/row/row_decoder.h"
#include "engine/jet/row/text_codec.h"
#include "engine/jet/storage/page_store.h"
#include "engine/jet/row/row_encoder.h"
#include "engine/jet/format/table_definition.h"
#include "engine/jet/rules/table_rules.h"
#include "engine/jet/table/row_set.h"
#include "engine/jet/page/usage_map_writer.h"
#include "engine/text_locale.h"
#include "engine/value.h"

namespace engine::jet {

// Whether index pages a DELETE * gave back are looked for (a walk of each index tree the
// first time it is used) and handed out again before the file grows. System rows skip it:
// nothing ever empties a system table, and the walk would cost every new table a pass over
// the catalogue's indexes.
enum class IndexPageReuse { SparePages, NewPagesOnly };

class TableWriter {
 public:
  // `file_name` labels errors; `rules` come from the table's properties.
  TableWriter(PageStore& store, TableDefinition table, TextLocale locale, std::string file_name,
              TableRules rules = {}, IndexPageReuse reuse = IndexPageReuse::SparePages);
  ~TableWriter();

  const TableDefinition& table() const { return table_; }

  // The values a new record starts with: the columns' defaults (see TableRules).
  std::vector<Value> NewRecord();

  // Why the engine must not write this table, or nothing.
  std::optional<std::string> ReadOnlyReason() const;

  // A row that passed every check, ready to store.
  struct PreparedRow {
    std::vector<Value> values;  // by column position, converted to each column's type
    std::vector<std::optional<std::string>> keys;  // per real index; none = no entry
    std::optional<uint32_t> new_autonumber;
    std::vector<EncodedField> fields;  // the row's fields; long values still to be written
    size_t row_size = 0;               // with every long value as a bare 12-byte header
    std::string row_bytes;             // the row as measured: what Store writes when it has no long value
  };

  // Converts the values (by column position; missing ones are Null) and checks the row:
  // the table's rules, then the row's size and its index keys.
  // Throws engine::Error; nothing is written.
  PreparedRow Prepare(std::vector<Value> values);
  // Writes a prepared row: data page, long values, index entries, TDEF counters.
  RowId Store(PreparedRow row);
  RowId AddRow(std::vector<Value> values) { return Store(Prepare(std::move(values))); }

  // "DELETE * FROM": every row marked deleted, long values freed, indexes emptied, the row
  // count set to 0. The autonumber and unique-entry counts stay.
  void DeleteAll();

  // Index changes are kept in memory between rows (batched, as Access does) and written to
  // the store by Flush, which must run before every commit. After the store rolls back the
  // cached pages must be dropped.
  void Flush();
  void ForgetCachedPages();

  // WHERE [column] = literal through a single-column index on a text column, seeing the
  // batched index changes; nothing when no such index can answer (the caller scans then).
  std::optional<std::vector<RowId>> FindEqual(int position, std::u16string_view literal);

 private:
  // Prepare's steps, one file each: the values (conversion, autonumbers, rules), the row's
  // fields and size, the index keys.
  void ConvertValues(std::vector<Value>& values, PreparedRow& prepared);
  void EncodeFields(PreparedRow& prepared);
  void MakeKeys(PreparedRow& prepared);
  IndexTree& Tree(size_t real_index);
  std::vector<PageNumber> SparePagesOf(const RealIndex& index);
  void CheckBeforeWriting();
  void CheckNeighbours(size_t real_index, const IndexTree::Neighbours& around);
  bool EntryMatchesRow(size_t real_index, const IndexEntry& entry);
  std::string EncodeLongValue(size_t position, const Value& value, bool may_inline);
  void FreeLongValuesOfRows(const std::vector<size_t>& positions);
  [[noreturn]] void Fail(const std::string& reason, ErrorKind kind) const;

  PageStore& store_;
  const JetFormat& format_;  // the store's: every offset the writer uses comes from here
  TableDefinition table_;
  TdefCounters counters_;
  bool checked_ = false;  // CheckBeforeWriting passed
  TableRules rules_;
  TextLocale locale_;
  std::string file_name_;
  TextDecoder text_;
  RowDecoder decoder_;  // rows read back to check index entries against
  CrackedRow cracked_;
  std::vector<Value> row_values_;  // scratch for EntryMatchesRow
  // Per real index, the rows whose entries are known to match them (read back, or added by
  // this writer); forgotten with the cached pages.
  std::vector<RowSet> matching_rows_;
  PageAllocator allocator_;
  RowPlacer placer_;
  std::vector<std::unique_ptr<IndexTree>> trees_;
  std::vector<bool> primary_key_;  // per real index
  IndexPageReuse reuse_;
  // Only Jet 4 tables in Jet 4 files are written; decided once, when the writer is made.
  // The refusal itself comes from ReadOnlyReason, when a row is added or the table emptied:
  // a writer is also made to read a writable Jet 3 file (a new record's defaults, a lookup).
  bool writes_this_format_;
};

}  // namespace engine::jet
