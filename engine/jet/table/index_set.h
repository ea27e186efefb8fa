// A table's indexes as the writer keeps them: every real index's tree, made on first use with
// the pages its index gave back (IndexPages), a new row's keys with the refusals that depend
// on them (a Null where the index needs a value, a key too long, a duplicate in a unique
// index), the new row's entries, and WHERE [column] = literal answered through the same
// trees, which see the batched changes.
//
// Index changes are kept in memory between rows (batched, as Access does) and written to the
// store by Flush; after the store rolls back, Forget drops everything read from the pages.
// Rules: FORMAT.md, "Index trees", "Index keys" and "Text index keys".
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/jet/catalog/tdef_counters.h"
#include "engine/jet/format/table_definition.h"
#include "engine/jet/index/index_tree.h"
#include "engine/jet/storage/page_store.h"
#include "engine/jet/table/index_pages.h"
#include "engine/jet/table/matching_rows.h"
#include "engine/value/value.h"

namespace engine::jet {

// A row's key in every real index, by real index; none: the row has no entry there.
using IndexKeys = std::vector<std::optional<std::string>>;

class IndexSet {
 public:
  IndexSet(PageStore& store, const TableDefinition& table, std::string file_name, IndexPageReuse reuse);
  ~IndexSet();

  // Every tree made now (see IndexPages: the walk that finds the spare pages checks a tree
  // whole); throws "damaged" for one that does not hold together.
  void OpenAll();

  // The keys of a row with these converted values; throws engine::Error when an index
  // refuses the row.
  IndexKeys MakeKeys(const std::vector<Value>& values);
  // The row's entries; a key new to its index adds to the index's unique-entry count. The
  // entries on either side of each new one, and the first time a key is added the entries
  // already holding it, are read back from their rows first (throws "damaged", before any
  // index changes, when one does not match or cannot be read).
  void Add(const IndexKeys& keys, RowId row, TdefCounters& counters);

  // The rows whose key in the index (see TextEqualityIndex) equals the literal's. `before_adding`: a value not
  // found is about to be added, so the entries beside the searched place are read back from
  // their rows first (throws "damaged" when one does not match).
  std::vector<RowId> FindEqual(size_t real_index, std::u16string_view literal, bool before_adding);

  // The real index whose columns are exactly those at `positions` (in any order), when its
  // keys can be made (see ReadOnlyReason of the writer); nothing otherwise.
  std::optional<size_t> IndexOn(std::vector<int> positions) const;
  // The rows whose key in that index is the one `values` (by column position) make, batched
  // changes included; none when the values make no key.
  std::vector<RowId> FindKey(size_t real_index, const std::vector<Value>& values);

  // DELETE *: the batched changes written, then every tree emptied.
  void Clear();
  // After rows were deleted one by one, the trees are emptied (Clear) and every row that stays
  // is entered again with its values (by column position; only the indexed ones are read).
  // The unique-entry counts stay, as after DELETE *.
  void AddAgain(const std::vector<Value>& values, RowId row);
  void Flush();
  void Forget();

 private:
  // A tree and where its pages come from, kept together: the tree's page callbacks point
  // at its IndexPages.
  struct OpenIndex;
  IndexTree& Tree(size_t real_index);
  void CheckNeighbours(size_t real_index, const IndexTree::Neighbours& around);
  void CheckAround(size_t real_index, const std::string& key, RowId row);
  // Throws "damaged" when the entry's row does not make the entry's key.
  void CheckEntry(size_t real_index, std::string_view key, RowId row);

  PageStore& store_;
  const TableDefinition& table_;
  std::string file_name_;
  IndexPageReuse reuse_;
  std::vector<bool> primary_key_;                 // per real index
  std::vector<std::unique_ptr<OpenIndex>> open_;  // per real index; made on first use
  MatchingRows matching_;
};

}  // namespace engine::jet
