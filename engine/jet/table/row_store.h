// A table's rows on its data pages. A new row is first encoded and measured with every long
// value at its largest footprint in the row (a bare header), so that a row too big for a page
// is refused before anything is written; then written: its long values inline while the row
// stays within a page, else on LVAL pages, and the row on a data page with room.
// Rules: FORMAT.md, "Data pages", "Rows" and "Long values".
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/jet/format/table_definition.h"
#include "engine/jet/page/data_page_writer.h"
#include "engine/jet/page/long_value_writer.h"
#include "engine/jet/page/usage_map_writer.h"
#include "engine/jet/row/row_encoder.h"
#include "engine/jet/storage/page_store.h"
#include "engine/value/value.h"

namespace engine::jet {

class RowStore {
 public:
  RowStore(PageStore& store, const TableDefinition& table, std::string file_name);

  // A row as Encode measured it.
  struct EncodedRow {
    std::vector<EncodedField> fields;  // long values still to be written
    size_t size = 0;                   // with every long value as a bare 12-byte header
    std::string bytes;                 // what Write stores when the row has no long value
  };

  // The row's fields from its converted values (by column position); throws engine::Error
  // when the row cannot be stored.
  EncodedRow Encode(const std::vector<Value>& values) const;
  // Writes the long values (into the row's fields) and the row; the values are those Encode
  // was given.
  RowId Write(const std::vector<Value>& values, EncodedRow&& row);

  // The pages last written may have been rolled back, or emptied by a purge.
  void ForgetCachedPages();

 private:
  std::string WriteLongValue(size_t position, const Value& value, bool may_inline);

  PageStore& store_;
  const TableDefinition& table_;
  std::string file_name_;
  PageAllocator allocator_;
  RowPlacer placer_;
  // By column position, made on a long value's first write: each keeps the page it used last,
  // the only place a column without its own usage maps (every Jet 3 one) finds room again.
  std::vector<std::unique_ptr<LongValueWriter>> long_values_;
};

}  // namespace engine::jet
