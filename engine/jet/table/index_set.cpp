#include "engine/jet/table/index_set.h"

#include <algorithm>

#include "engine/base/error.h"
#include "engine/jet/index/sort_key.h"
#include "engine/jet/table/index_column_names.h"
#include "engine/jet/table/table_error.h"

namespace engine::jet {

struct IndexSet::OpenIndex {
  OpenIndex(PageStore& store, const TableDefinition& table, const RealIndex& index, IndexPageReuse reuse,
            const std::string& file_name)
      : pages(store, table, index, reuse, file_name),
        tree(
            store, index.root_page, table.tdef_page, [this] { return pages.Allocate(); },
            [this](PageNumber page) { pages.Release(page); }, file_name) {
    tree.BeginBatch();
  }
  IndexPages pages;
  IndexTree tree;
};

IndexSet::IndexSet(PageStore& store, const TableDefinition& table, std::string file_name, IndexPageReuse reuse)
    : store_(store),
      table_(table),
      file_name_(std::move(file_name)),
      reuse_(reuse),
      primary_key_(table.real_indexes.size(), false),
      open_(table.real_indexes.size()),
      matching_(store, table, file_name_) {
  for (const LogicalIndex& logical : table_.logical_indexes) {
    if (logical.kind == kLogicalPrimaryKey && logical.real_index < primary_key_.size())
      primary_key_[logical.real_index] = true;
  }
}

IndexSet::~IndexSet() = default;

IndexTree& IndexSet::Tree(size_t i) {
  if (!open_[i]) open_[i] = std::make_unique<OpenIndex>(store_, table_, table_.real_indexes[i], reuse_, file_name_);
  return open_[i]->tree;
}

void IndexSet::OpenAll() {
  for (size_t i = 0; i < open_.size(); ++i) Tree(i);
}

IndexKeys IndexSet::MakeKeys(const std::vector<Value>& values) {
  IndexKeys keys(table_.real_indexes.size());
  for (size_t i = 0; i < table_.real_indexes.size(); ++i) {
    const RealIndex& index = table_.real_indexes[i];
    size_t nulls = 0;
    for (const IndexColumn& c : index.columns) {
      const int position = table_.PositionOfNumber(c.column_number);
      if (position < 0 || values[position].is_null()) ++nulls;
    }
    if (nulls > 0 && (primary_key_[i] || index.required())) {
      FailOnTable(file_name_, table_,
                  std::string(primary_key_[i] ? "the primary key " : "the required index ") + "on " +
                      IndexColumnNames(table_, index) + " needs a value",
                  ErrorKind::InvalidValue);
    }
    if (nulls == index.columns.size() && index.ignore_nulls()) continue;
    std::string key;
    try {
      EncodeIndexKey(table_, index, values, &key);
    } catch (const Error& error) {
      FailOnTable(file_name_, table_, error.reason(), error.kind());
    }
    if (key.size() > MaxIndexKeySize(store_.format())) {
      FailOnTable(file_name_, table_, "a value is too long for the index on " + IndexColumnNames(table_, index),
                  ErrorKind::InvalidValue);
    }
    // Jet lets several rows with a Null in a unique index's columns through.
    if (index.unique() && nulls == 0 && Tree(i).Contains(key)) {
      FailOnTable(file_name_, table_,
                  "the value of " + IndexColumnNames(table_, index) +
                      " is already in the table, and its index allows no duplicates",
                  ErrorKind::Duplicate);
    }
    keys[i] = std::move(key);
  }
  return keys;
}

void IndexSet::Add(const IndexKeys& keys, RowId row, TdefCounters& counters) {
  // Every index's entries beside the new ones first, so that a refusal leaves every tree as
  // it was.
  for (size_t i = 0; i < table_.real_indexes.size(); ++i) {
    if (keys[i]) CheckAround(i, *keys[i], row);
  }
  for (size_t i = 0; i < table_.real_indexes.size(); ++i) {
    if (!keys[i]) continue;
    if (Tree(i).Insert(*keys[i], row)) counters.AddUniqueEntry(table_.real_indexes[i]);
    matching_.Add(i, row);
  }
}

std::vector<RowId> IndexSet::FindEqual(size_t i, std::u16string_view literal, bool before_adding) {
  std::string key;
  AppendTableTextKey(table_, literal, table_.real_indexes[i].columns[0].ascending, &key);
  if (!before_adding) return Tree(i).FindEqual(key);
  IndexTree::Neighbours around;
  std::vector<RowId> rows = Tree(i).FindEqual(key, &around);
  if (rows.empty()) CheckNeighbours(i, around);
  return rows;
}

// One damaged byte can change an entry's key, or the row it names, without breaking the
// order: the value it stood for would then be added a second time. Such an entry sits right
// beside the place searched or written, and is read back from its row as `archivi check`
// does.
void IndexSet::CheckNeighbours(size_t i, const IndexTree::Neighbours& around) {
  for (const std::optional<IndexEntry>* entry : {&around.below, &around.above}) {
    if (*entry) CheckEntry(i, (*entry)->key.view(), (*entry)->row);
  }
}

std::optional<size_t> IndexSet::IndexOn(std::vector<int> positions) const {
  std::sort(positions.begin(), positions.end());
  for (size_t i = 0; i < table_.real_indexes.size(); ++i) {
    const RealIndex& index = table_.real_indexes[i];
    if (!IndexSortOrdersKnown(table_, index)) continue;
    std::vector<int> columns;
    for (const IndexColumn& c : index.columns) columns.push_back(table_.PositionOfNumber(c.column_number));
    std::sort(columns.begin(), columns.end());
    if (columns == positions) return i;
  }
  return std::nullopt;
}

std::vector<RowId> IndexSet::FindKey(size_t i, const std::vector<Value>& values) {
  std::string key;
  try {
    EncodeIndexKey(table_, table_.real_indexes[i], values, &key);
  } catch (const Error&) {
    return {};  // a value the column cannot hold is in no row
  }
  return Tree(i).FindEqual(key);
}

void IndexSet::AddAgain(const std::vector<Value>& values, RowId row) {
  for (size_t i = 0; i < table_.real_indexes.size(); ++i) {
    const RealIndex& index = table_.real_indexes[i];
    bool all_null = true;
    for (const IndexColumn& c : index.columns) {
      const int position = table_.PositionOfNumber(c.column_number);
      if (position >= 0 && !values[position].is_null()) all_null = false;
    }
    if (all_null && index.ignore_nulls()) continue;
    std::string key;
    EncodeIndexKey(table_, index, values, &key);
    Tree(i).Insert(key, row);
    matching_.Add(i, row);
  }
}

// Readers that look a key up read every entry holding it, and one that names a damaged row
// hides the rest, the new ones included: so the entries of a key are read back too, the first
// time a new entry takes it (each row is read once, however many entries join it later).
void IndexSet::CheckAround(size_t i, const std::string& key, RowId row) {
  CheckNeighbours(i, Tree(i).NeighboursOf(key, row));
  if (matching_.KeyReadBack(i, key)) return;
  for (RowId other : Tree(i).FindEqual(key)) CheckEntry(i, key, other);
  matching_.SetKeyReadBack(i, key);
}

void IndexSet::CheckEntry(size_t i, std::string_view key, RowId row) {
  if (matching_.Matches(i, key, row)) return;
  FailOnTable(
      file_name_, table_,
      "an index entry does not match its row (index on " + IndexColumnNames(table_, table_.real_indexes[i]) + ")",
      ErrorKind::Damaged);
}

void IndexSet::Clear() {
  Flush();
  for (size_t i = 0; i < open_.size(); ++i) Tree(i).Clear();
}

void IndexSet::Flush() {
  for (auto& open : open_) {
    if (!open || !open->tree.has_unwritten_changes()) continue;
    open->tree.Flush();
    open->tree.BeginBatch();
  }
}

void IndexSet::Forget() {
  for (auto& open : open_) open.reset();
  matching_.Forget();
}

}  // namespace engine::jet
