// "DELETE * FROM": every data page of the table and every LVAL page of its long values
// emptied and listed as free again, every index emptied, the row count set to 0. A long-value
// map that lists a page in use by a table (a data page whose owner is a table definition)
// is damage, refused before anything is written. The
// autonumber and unique-entry counts stay. Columns without LVAL maps (older files, where LVAL
// pages may be shared) have their values freed through each row's pointers instead.
// Rules: FORMAT.md, "Data pages" (emptying a page), "Long values" (freeing) and "Index trees"
// (emptying).
//
// When some rows must stay (rows of other tables name them), DeleteRows deletes the others
// one by one instead: their long values freed, their slots flagged deleted as Access does,
// and every index made again from the rows that stay (Jet removes each entry; making the
// trees again keeps this engine to the one way of writing them it already has).
#pragma once

#include <string>
#include <vector>

#include "engine/jet/catalog/tdef_counters.h"
#include "engine/jet/format/table_definition.h"
#include "engine/jet/page/usage_map_writer.h"
#include "engine/jet/storage/page_store.h"
#include "engine/jet/row/text_codec.h"
#include "engine/jet/table/index_set.h"
#include "engine/jet/table/row_set.h"

namespace engine::jet {

class TablePurge {
 public:
  TablePurge(PageStore& store, const TableDefinition& table, IndexSet& indexes, TdefCounters& counters,
             std::string file_name);

  // The caller checked that the table may be written and that its pages hold together.
  void Run();
  // Deletes the live rows in `doomed`; returns how many. Same preconditions as Run.
  long DeleteRows(const RowSet& doomed);

 private:
  void FreeLongValuesOf(const std::vector<uint8_t>& row, const std::vector<size_t>& positions);
  void RefuseForeignLongValuePages();
  void EmptyLongValuePages(const ColumnDefinition& column);
  void FreeLongValuesOfRows(const std::vector<size_t>& positions);
  void EmptyDataPages();

  PageStore& store_;
  const TableDefinition& table_;
  IndexSet& indexes_;
  TdefCounters& counters_;
  std::string file_name_;
  TextDecoder text_;
  PageAllocator allocator_;
};

}  // namespace engine::jet
