// The live rows of a table, in physical order: the data pages of the table's owned-pages usage
// map (pages whose owner field, offset 4, is the table's TDEF page), and on each page the
// slots that are not deleted. A moved row is listed at its original slot (the pointer); its
// new place is flagged deleted and so is not listed twice.
// Layout: FORMAT.md, "Data pages" and "Usage maps".
#pragma once

#include <vector>

#include "engine/jet/format/table_definition.h"
#include "engine/jet/page/data_page.h"
#include "engine/jet/row/row_decoder.h"
#include "engine/jet/storage/page_store.h"
#include "engine/value/value.h"

namespace engine::jet {

std::vector<RowId> ListLiveRows(PageStore& pager, const TableDefinition& table);

// The number of rows the table's definition counts, read from its page now (the writer keeps
// it up to date as it adds and deletes rows). A scan that lists another number met damaged
// pages, or pages that do not belong where they are.
uint32_t CountedRows(PageStore& pager, const TableDefinition& table);

// Reads live rows of one table whole, each column decoded. The last row's page is held until
// the next Read, as its cracked row points into it.
class RowValuesReader {
 public:
  RowValuesReader(PageStore& pager, const TableDefinition& table, const TextDecoder& text)
      : pager_(pager), table_(table), decoder_(pager, table, text) {}

  void Read(RowId row, std::vector<Value>& values);

 private:
  PageStore& pager_;
  const TableDefinition& table_;
  RowDecoder decoder_;
  RowSlot slot_;
  CrackedRow cracked_;
};

}  // namespace engine::jet
