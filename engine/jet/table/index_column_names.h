// How an index is named in an error: the names of its columns, quoted, in index order.
#pragma once

#include <string>

#include "engine/jet/format/table_definition.h"

namespace engine::jet {

std::string IndexColumnNames(const TableDefinition& table, const RealIndex& index);

}  // namespace engine::jet
