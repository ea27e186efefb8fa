// Where one index tree's new pages come from and where the pages it lets go of go.
//
// Pages an index gives back (DELETE *) stay in its usage map, marked used, and are handed out
// again before the file grows: otherwise every purge-and-import cycle would add a whole new
// set of index pages to the file. They are found again each time the tree is opened, as the
// pages of the index's map that its tree does not reach.
// Rules: FORMAT.md, "Index trees" (emptying).
#pragma once

#include <string>
#include <vector>

#include "engine/jet/format/table_definition.h"
#include "engine/jet/page/usage_map_writer.h"
#include "engine/jet/storage/page_store.h"

namespace engine::jet {

// Whether index pages a DELETE * gave back are looked for (a walk of each index tree the
// first time it is used) and handed out again before the file grows. System rows skip it:
// nothing ever empties a system table, and the walk would cost every new table a pass over
// the catalogue's indexes.
enum class IndexPageReuse { SparePages, NewPagesOnly };

class IndexPages {
 public:
  // With SparePages, walks the whole tree (which checks it) and throws "damaged" when it
  // does not hold together: a change must not start on such a tree.
  IndexPages(PageStore& store, const TableDefinition& table, const RealIndex& index, IndexPageReuse reuse,
             const std::string& file_name);

  // A zeroed page for the tree: a spare one, lowest first, else a new one in the index's map.
  PageNumber Allocate();
  // A page the tree no longer uses: spare when the index has a map, else free in the file.
  void Release(PageNumber page);

 private:
  std::vector<PageNumber> FindSpare(const TableDefinition& table, const RealIndex& index, const std::string& file_name);

  PageStore& store_;
  PageAllocator allocator_;
  RowId map_;                      // the index's usage map (page 0: none)
  std::vector<PageNumber> spare_;  // handed out from the back
};

}  // namespace engine::jet
