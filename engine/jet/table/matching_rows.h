// Per real index, the rows known to match their entries there: added by this writer, or read
// back once from the row (an entry beside a place a lookup searched or a new entry goes),
// and the keys whose every entry was read back. One damaged byte can change an entry's key
// without breaking the index's order; reading the row back catches it. Forgotten with the
// cached pages, since a rollback may take rows away.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engine/jet/format/table_definition.h"
#include "engine/jet/index/index_tree.h"
#include "engine/jet/row/row_decoder.h"
#include "engine/jet/row/text_codec.h"
#include "engine/jet/storage/page_store.h"
#include "engine/jet/table/row_set.h"
#include "engine/value/value.h"

namespace engine::jet {

class MatchingRows {
 public:
  MatchingRows(PageStore& store, const TableDefinition& table, const std::string& file_name);

  void Add(size_t real_index, RowId row) { known_[real_index].insert(row); }
  // Whether `key` is the one the row's values make in the index; reads the row when not
  // known. Throws "damaged" when the row cannot be read.
  bool Matches(size_t real_index, std::string_view key, RowId row);
  // Whether every entry holding the key was read back already; recorded once they all matched.
  bool KeyReadBack(size_t real_index, const std::string& key) const {
    return keys_read_back_[real_index].contains(key);
  }
  void SetKeyReadBack(size_t real_index, const std::string& key) { keys_read_back_[real_index].insert(key); }
  void Forget();

 private:
  PageStore& store_;
  const TableDefinition& table_;
  TextDecoder text_;
  RowDecoder decoder_;
  std::vector<Value> values_;  // scratch: the indexed columns' values of a row read back
  std::vector<RowSet> known_;  // per real index
  std::vector<std::unordered_set<std::string>> keys_read_back_;  // per real index
};

}  // namespace engine::jet
