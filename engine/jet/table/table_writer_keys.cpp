// Index keys: a new row's key in every real index, with the refusals that depend on them
// (a Null where the index needs a value, a key too long, a duplicate in a unique index), and
// WHERE [column] = literal answered through the writer's own trees, which see the batched
// changes. A lookup that finds nothing reads the entries beside the searched place back from
// their rows, since the value is about to be added.
#include "engine/error.h"
#include "engine/jet/index/sort_key.h"
#include "engine/jet/table/index_column_names.h"
#include "engine/jet/table/table_writer.h"

namespace engine::jet {

void TableWriter::MakeKeys(PreparedRow& prepared) {
  prepared.keys.resize(table_.real_indexes.size());
  for (size_t i = 0; i < table_.real_indexes.size(); ++i) {
    const RealIndex& index = table_.real_indexes[i];
    size_t nulls = 0;
    for (const IndexColumn& c : index.columns) {
      const int position = table_.PositionOfNumber(c.column_number);
      if (position < 0 || prepared.values[position].is_null()) ++nulls;
    }
    if (nulls > 0 && (primary_key_[i] || index.required())) {
      Fail(std::string(primary_key_[i] ? "the primary key " : "the required index ") + "on " +
               IndexColumnNames(table_, index) + " needs a value",
           ErrorKind::InvalidValue);
    }
    if (nulls == index.columns.size() && index.ignore_nulls()) continue;
    std::string key;
    try {
      EncodeIndexKey(table_, index, prepared.values, &key);
    } catch (const Error& error) {
      Fail(error.reason(), error.kind());
    }
    if (key.size() > kMaxIndexKeySize) {
      Fail("a value is too long for the index on " + IndexColumnNames(table_, index), ErrorKind::InvalidValue);
    }
    // Jet lets several rows with a Null in a unique index's columns through.
    if (index.unique() && nulls == 0 && Tree(i).Contains(key)) {
      Fail("the value of " + IndexColumnNames(table_, index) +
               " is already in the table, and its index allows no duplicates",
           ErrorKind::Duplicate);
    }
    prepared.keys[i] = std::move(key);
  }
}

std::optional<std::vector<RowId>> TableWriter::FindEqual(int position, std::u16string_view literal) {
  if (position < 0 || static_cast<size_t>(position) >= table_.columns.size()) return std::nullopt;
  const ColumnDefinition& column = table_.columns[position];
  if (table_.version != JetVersion::Jet4 || column.type != ColumnType::Text || !HasKnownSortOrder(column)) {
    return std::nullopt;
  }
  for (size_t i = 0; i < table_.real_indexes.size(); ++i) {
    const RealIndex& index = table_.real_indexes[i];
    if (index.columns.size() != 1 || index.columns[0].column_number != column.number || index.root_page.is_none())
      continue;
    std::string key;
    AppendTextKey(literal, index.columns[0].ascending, &key);
    if (!writes_this_format_) return Tree(i).FindEqual(key);
    CheckBeforeWriting();  // a lookup here comes before a change
    IndexTree::Neighbours around;
    std::vector<RowId> rows = Tree(i).FindEqual(key, &around);
    if (rows.empty()) CheckNeighbours(i, around);
    return rows;
  }
  return std::nullopt;
}

// A value not found is about to be added. One damaged byte can change an entry's key without
// breaking the order, and the value it stood for would then be added a second time; such an
// entry sits right beside the place searched, so the entries there are read back from their
// rows.
void TableWriter::CheckNeighbours(size_t i, const IndexTree::Neighbours& around) {
  for (const std::optional<IndexEntry>* entry : {&around.below, &around.above}) {
    if (*entry && !EntryMatchesRow(i, **entry)) {
      Fail("an index entry does not match its row (index on " + IndexColumnNames(table_, table_.real_indexes[i]) +
               ")",
           ErrorKind::Damaged);
    }
  }
}

bool TableWriter::EntryMatchesRow(size_t i, const IndexEntry& entry) {
  if (matching_rows_[i].contains(entry.row)) return true;
  const RealIndex& index = table_.real_indexes[i];
  const RowSlot slot = ReadLiveRow(store_, entry.row);
  decoder_.Crack(slot.data, slot.size, cracked_);
  row_values_.assign(table_.columns.size(), Value());
  for (const IndexColumn& column : index.columns) {
    const int position = table_.PositionOfNumber(column.column_number);
    if (position >= 0) row_values_[position] = decoder_.Decode(cracked_, position);
  }
  std::string key;
  EncodeIndexKey(table_, index, row_values_, &key);
  if (key != entry.key.view()) return false;
  matching_rows_[i].insert(entry.row);
  return true;
}

}  // namespace engine::jet
