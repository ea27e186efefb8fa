#include "engine/jet/table/matching_rows.h"

#include "engine/base/error.h"
#include "engine/jet/index/sort_key.h"
#include "engine/jet/page/data_page.h"

namespace engine::jet {

MatchingRows::MatchingRows(PageStore& store, const TableDefinition& table, const std::string& file_name)
    : store_(store),
      table_(table),
      text_(store.format().version, store.header().code_page, file_name),
      decoder_(store, table_, text_),
      known_(table.real_indexes.size()),
      keys_read_back_(table.real_indexes.size()) {}

bool MatchingRows::Matches(size_t i, std::string_view entry_key, RowId row) {
  if (known_[i].contains(row)) return true;
  const RealIndex& index = table_.real_indexes[i];
  values_.assign(table_.columns.size(), Value());
  {
    // The cracked row points into the slot's page: neither outlives this block.
    const RowSlot slot = ReadLiveRow(store_, row);
    CrackedRow cracked;
    decoder_.Crack(slot.data, slot.size, cracked);
    for (const IndexColumn& column : index.columns) {
      const int position = table_.PositionOfNumber(column.column_number);
      if (position >= 0) values_[position] = decoder_.Decode(cracked, position);
    }
  }
  // A row whose values make no key, or another one, is not the row the entry stands for.
  std::string key;
  try {
    if (!RowKeyInIndex(table_, index, values_, &key) || key != entry_key) return false;
  } catch (const Error&) {
    return false;
  }
  known_[i].insert(row);
  return true;
}

void MatchingRows::Forget() {
  for (RowSet& rows : known_) rows.clear();
  for (auto& keys : keys_read_back_) keys.clear();
}

}  // namespace engine::jet
