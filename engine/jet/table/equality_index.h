// Which index answers WHERE [column] = 'literal': a single-column index on a text column, in
// a sort order the engine can make keys for (IndexSortOrdersKnown), in either version. The
// read-only lookup and the writer's own lookup both go by this one rule, so that they agree
// on what an index finds.
#pragma once

#include <optional>

#include "engine/jet/format/table_definition.h"

namespace engine::jet {

// The real index (by its place in table.real_indexes) for the column at `position`, or
// nothing when no index can answer and the rows must be scanned.
std::optional<size_t> TextEqualityIndex(const TableDefinition& table, int position);

}  // namespace engine::jet
