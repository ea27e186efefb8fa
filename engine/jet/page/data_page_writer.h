// Choosing the data page a new row goes to (table rows and long-value rows alike); the page
// bytes themselves are data_page.h's.
// Layout: FORMAT.md, "Data pages".
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/jet/format/table_definition.h"
#include "engine/jet/page/data_page.h"
#include "engine/jet/storage/page_store.h"
#include "engine/jet/page/usage_map_writer.h"

namespace engine::jet {

// Chooses pages for a set of rows with one owner: the last page of the free-space map that
// is one of the owner's data pages and has room, else a new page recorded in the owned and
// free maps. `free_map` may be null (page 0): then only the owned map is used.
class RowPlacer {
 public:
  RowPlacer(PageStore& store, PageAllocator& allocator, uint32_t owner, RowId owned_map, RowId free_map);
  RowId Place(std::string_view row);
  // Forgets the page used last (a rollback may have changed it, or a purge emptied it).
  void ForgetHint() { last_.reset(); }

 private:
  PageNumber Candidate();
  // The page checked, when it is one of the owner's with room for the row.
  std::optional<CheckedDataPage> Usable(PageNumber page, size_t row_length);
  PageNumber NewPage();

  PageStore& store_;
  PageAllocator& allocator_;
  uint32_t owner_;  // the owner field: a TDEF page, or kLongValueOwner
  RowId owned_map_, free_map_;
  // The page used last, checked whole when it was chosen. While its bytes stay current and
  // only Append changes it, the next rows go on it without another walk of its slots: a page
  // is checked once, not once per row.
  std::optional<CheckedDataPage> last_;
};

}  // namespace engine::jet
