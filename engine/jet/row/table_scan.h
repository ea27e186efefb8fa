// The live rows of a table, in physical order: the data pages of the table's owned-pages usage
// map (pages whose owner field, offset 4, is the table's TDEF page), and on each page the
// slots that are not deleted. A moved row is listed at its original slot (the pointer); its
// new place is flagged deleted and so is not listed twice.
// Layout: FORMAT.md, "Data pages" and "Usage maps".
#pragma once

#include <vector>

#include "engine/jet/storage/page_store.h"
#include "engine/jet/format/table_definition.h"

namespace engine::jet {

std::vector<RowId> ListLiveRows(PageStore& pager, const TableDefinition& table);

// The number of rows the table's definition counts, read from its page now (the writer keeps
// it up to date as it adds and deletes rows). A scan that lists another number met damaged
// pages, or pages that do not belong where they are.
uint32_t CountedRows(PageStore& pager, const TableDefinition& table);

}  // namespace engine::jet
