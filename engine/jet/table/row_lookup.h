// WHERE [column] = 'literal': the rows of a table whose column equals a text as Jet compares
// texts in the General sort order of the database's version: two texts are equal when their
// index keys are (letter case and trailing spaces do not count). Values of other types
// compare by their text form in the database's locale.
//
// With an index whose only column is the searched text column (any index, the primary key
// included) the literal's key is looked up in the B-tree, O(log n); otherwise every row is
// read.
// Rules: FORMAT.md, "Index trees" (finding a key) and "Text index keys".
#pragma once

#include <map>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/jet/storage/page_store.h"
#include "engine/jet/row/row_decoder.h"
#include "engine/jet/format/table_definition.h"
#include "engine/text/text_locale.h"

namespace engine::jet {

// True when the General sort order makes the two texts equal.
bool SameTextInGeneralOrder(std::u16string_view a, std::u16string_view b);

class IndexTree;

// One object may serve many lookups on a database that does not change meanwhile (a
// read-only one): the index pages it decodes stay cached in it.
class RowLookup {
 public:
  RowLookup(PageStore& pager, const TableDefinition& table, const TextDecoder& text, const TextLocale& locale);
  ~RowLookup();

  // Matching rows: in index order (equal keys: by row position) or in scan order.
  std::vector<RowId> FindEqual(int position, std::u16string_view literal);

  // Whether the last FindEqual went through an index.
  bool used_index() const { return used_index_; }

 private:
  std::vector<RowId> FindWithIndex(const RealIndex& index, std::u16string_view literal);
  std::vector<RowId> FindByScan(int position, std::u16string_view literal);

  PageStore& pager_;
  const TableDefinition& table_;
  const TextLocale& locale_;
  RowDecoder decoder_;
  bool used_index_ = false;
  std::map<PageNumber, std::unique_ptr<IndexTree>> trees_;  // by root page
};

}  // namespace engine::jet
