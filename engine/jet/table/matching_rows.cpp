#include "engine/jet/table/matching_rows.h"

#include "engine/jet/index/sort_key.h"
#include "engine/jet/page/data_page.h"

namespace engine::jet {

MatchingRows::MatchingRows(PageStore& store, const TableDefinition& table, const std::string& file_name)
    : store_(store),
      table_(table),
      text_(store.format().version, store.header().code_page, file_name),
      decoder_(store, table_, text_),
      known_(table.real_indexes.size()) {}

bool MatchingRows::Matches(size_t i, const IndexEntry& entry) {
  if (known_[i].contains(entry.row)) return true;
  const RealIndex& index = table_.real_indexes[i];
  values_.assign(table_.columns.size(), Value());
  {
    // The cracked row points into the slot's page: neither outlives this block.
    const RowSlot slot = ReadLiveRow(store_, entry.row);
    CrackedRow cracked;
    decoder_.Crack(slot.data, slot.size, cracked);
    for (const IndexColumn& column : index.columns) {
      const int position = table_.PositionOfNumber(column.column_number);
      if (position >= 0) values_[position] = decoder_.Decode(cracked, position);
    }
  }
  std::string key;
  EncodeIndexKey(table_, index, values_, &key);
  if (key != entry.key.view()) return false;
  known_[i].insert(entry.row);
  return true;
}

void MatchingRows::Forget() {
  for (RowSet& rows : known_) rows.clear();
}

}  // namespace engine::jet
