// WHERE [column] = 'literal': the rows of a table whose column equals a text as Jet compares
// texts in its General sort order (letter case and trailing spaces do not count). Values of
// other types compare by their text form in the database's locale.
#pragma once

#include <string_view>
#include <vector>

#include "engine/jet/pager.h"
#include "engine/jet/row_decoder.h"
#include "engine/jet/table_definition.h"
#include "engine/text_locale.h"

namespace engine::jet {

// True when the General sort order makes the two texts equal.
bool SameTextInGeneralOrder(std::u16string_view a, std::u16string_view b);

class RowLookup {
 public:
  RowLookup(Pager& pager, const TableDefinition& table, const TextDecoder& text, const TextLocale& locale);

  // Matching rows in the order a table scan meets them.
  std::vector<RowId> FindEqual(int position, std::u16string_view literal);

 private:
  std::vector<RowId> FindByScan(int position, std::u16string_view literal);
  bool Matches(RowId id, int position, std::u16string_view literal);

  Pager& pager_;
  const TableDefinition& table_;
  const TextLocale& locale_;
  RowDecoder decoder_;
  CrackedRow cracked_;
};

}  // namespace engine::jet
