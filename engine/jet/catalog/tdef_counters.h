// The counters a table's definition keeps up to date as rows come and go: the row count, the
// last autonumber handed out, and each real index's unique-entry count (FORMAT.md, "Table
// definitions (TDEF)"). They are read from the pages every time, never from a copy, so a
// rollback of the pages is a rollback of the counters; and they are read and patched here
// only, so their checks stand in one place.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/base/bytes.h"
#include "engine/jet/format/table_definition.h"
#include "engine/jet/storage/page_store.h"

namespace engine::jet {

class TdefCounters {
 public:
  TdefCounters(PageStore& store, const TableDefinition& table) : store_(store), table_(table) {}

  // Before the first change: every page of the definition is still a definition page, and the
  // row count is one the file could hold. Throws "damaged" otherwise.
  void Check();

  uint32_t row_count() { return Read(store_.format().tdef_row_count); }
  void set_row_count(uint32_t rows) { Write(store_.format().tdef_row_count, rows); }
  uint32_t last_autonumber() { return Read(store_.format().tdef_autonumber); }
  void set_last_autonumber(uint32_t value) { Write(store_.format().tdef_autonumber, value); }
  void AddUniqueEntry(const RealIndex& index) { Write(index.count_offset, Read(index.count_offset) + 1); }

 private:
  struct Place {
    PageNumber page;
    size_t in_page = 0;
  };
  // The page and place of a definition byte; throws "damaged" when the chain is too short.
  Place Locate(size_t offset);
  uint32_t Read(size_t offset);
  void Write(size_t offset, uint32_t value);

  PageStore& store_;
  const TableDefinition& table_;
};

}  // namespace engine::jet
