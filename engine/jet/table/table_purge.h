// "DELETE * FROM": every data page of the table and every LVAL page of its long values
// emptied and listed as free again, every index emptied, the row count set to 0. A long-value
// map that lists a page in use by a table (a data page whose owner is a table definition)
// is damage, refused before anything is written. The
// autonumber and unique-entry counts stay. Columns without LVAL maps (older files, where LVAL
// pages may be shared) have their values freed through each row's pointers instead.
// Rules: FORMAT.md, "Data pages" (emptying a page), "Long values" (freeing) and "Index trees"
// (emptying).
#pragma once

#include <string>
#include <vector>

#include "engine/jet/catalog/tdef_counters.h"
#include "engine/jet/format/table_definition.h"
#include "engine/jet/page/usage_map_writer.h"
#include "engine/jet/storage/page_store.h"
#include "engine/jet/table/index_set.h"

namespace engine::jet {

class TablePurge {
 public:
  TablePurge(PageStore& store, const TableDefinition& table, IndexSet& indexes, TdefCounters& counters,
             std::string file_name);

  // The caller checked that the table may be written and that its pages hold together.
  void Run();

 private:
  void RefuseForeignLongValuePages();
  void EmptyLongValuePages(const ColumnDefinition& column);
  void FreeLongValuesOfRows(const std::vector<size_t>& positions);
  void EmptyDataPages();

  PageStore& store_;
  const TableDefinition& table_;
  IndexSet& indexes_;
  TdefCounters& counters_;
  std::string file_name_;
  PageAllocator allocator_;
};

}  // namespace engine::jet
