#include "engine/jet/table/relationship_keeper.h"

#include <algorithm>

#include "engine/base/error.h"
#include "engine/jet/index/sort_key.h"
#include "engine/jet/row/table_scan.h"
#include "engine/jet/row/value_conversion.h"
#include "engine/jet/rules/italian_texts.h"
#include "engine/jet/table/row_set.h"
#include "engine/jet/table/table_writer.h"
#include "engine/text/case_fold.h"

namespace engine::jet {
namespace {

int PositionOf(const TableDefinition& table, std::u16string_view name) {
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (SameName(table.columns[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

std::optional<std::vector<int>> PositionsOf(const TableDefinition& table, const std::vector<std::u16string>& names) {
  std::vector<int> positions;
  for (const std::u16string& name : names) {
    const int position = PositionOf(table, name);
    if (position < 0) return std::nullopt;
    positions.push_back(position);
  }
  return positions;
}

}  // namespace

RelationshipKeeper::RelationshipKeeper(PageStore& store, std::vector<Relationship> relationships, WriterOf writer_of,
                                       std::string file_name)
    : store_(store),
      relationships_(std::move(relationships)),
      writer_of_(std::move(writer_of)),
      file_name_(std::move(file_name)),
      text_(store.format().version, store.header().code_page, file_name_) {}

const std::vector<RelationshipKeeper::Resolved>& RelationshipKeeper::Resolve() {
  if (resolved_) return *resolved_;
  std::vector<Resolved> resolved;
  for (const Relationship& relationship : relationships_) {
    if (!relationship.enforced() || relationship.columns.size() != relationship.referenced_columns.size()) continue;
    TableWriter* from = writer_of_(relationship.table);
    TableWriter* to = writer_of_(relationship.referenced_table);
    if (!from || !to) continue;
    auto from_positions = PositionsOf(from->table(), relationship.columns);
    auto to_positions = PositionsOf(to->table(), relationship.referenced_columns);
    if (!from_positions || !to_positions) continue;
    resolved.push_back({&relationship, from, to, std::move(*from_positions), std::move(*to_positions)});
  }
  resolved_ = std::move(resolved);
  return *resolved_;
}

std::optional<std::string> RelationshipKeeper::KeyOf(const Resolved& link, const std::vector<int>& positions,
                                                     const std::vector<Value>& values) const {
  std::string key;
  for (size_t i = 0; i < positions.size(); ++i) {
    const Value& value = values[positions[i]];
    if (value.is_null()) return std::nullopt;
    const ColumnDefinition& column = link.to->table().columns[link.to_positions[i]];
    try {
      AppendColumnKey(column, ConvertForColumn(column, value, TextLocale{}), /*ascending=*/true, &key);
    } catch (const Error&) {
      return std::nullopt;  // no referenced row can hold it
    }
  }
  return key;
}

std::vector<Value> RelationshipKeeper::ReadRow(const TableDefinition& table, RowId row) {
  std::vector<Value> values;
  RowValuesReader(store_, table, text_).Read(row, values);
  return values;
}

bool RelationshipKeeper::ReferencedRowExists(const Resolved& link, const std::vector<Value>& values) {
  const TableDefinition& referenced = link.to->table();
  std::vector<Value> wanted(referenced.columns.size());
  for (size_t i = 0; i < link.from_positions.size(); ++i) {
    const ColumnDefinition& column = referenced.columns[link.to_positions[i]];
    try {
      wanted[link.to_positions[i]] = ConvertForColumn(column, values[link.from_positions[i]], TextLocale{});
    } catch (const Error&) {
      return false;
    }
  }
  if (auto rows = link.to->FindKey(link.to_positions, wanted)) return !rows->empty();
  const std::optional<std::string> key = KeyOf(link, link.to_positions, wanted);
  for (RowId row : ListLiveRows(store_, referenced)) {
    if (KeyOf(link, link.to_positions, ReadRow(referenced, row)) == key) return true;
  }
  return false;
}

void RelationshipKeeper::CheckNewRow(const TableDefinition& table, const std::vector<Value>& values) {
  for (const Resolved& link : Resolve()) {
    if (link.from->table().tdef_page != table.tdef_page) continue;
    bool any_null = false;
    for (int position : link.from_positions) any_null = any_null || values[position].is_null();
    if (any_null || ReferencedRowExists(link, values)) continue;
    std::u16string columns, shown;
    for (size_t i = 0; i < link.from_positions.size(); ++i) {
      if (i > 0) {
        columns += u", ";
        shown += u", ";
      }
      columns += table.columns[link.from_positions[i]].name;
      shown += values[link.from_positions[i]].ToText(TextLocale{});
    }
    Error error("", ToUtf8(RelatedRecordMissingText(columns, shown, link.to->table().name)), ErrorKind::RuleViolation);
    throw error.Concerning(ToUtf8(columns), ToUtf8(shown), Refusal::None);
  }
}

const RelationshipKeeper::RowsByKey& RelationshipKeeper::NamingRows(const Resolved& link) {
  auto found = naming_rows_.find(&link);
  if (found != naming_rows_.end()) return found->second;
  RowsByKey& rows = naming_rows_[&link];
  const TableDefinition& naming = link.from->table();
  for (RowId row : ListLiveRows(store_, naming)) {
    if (auto key = KeyOf(link, link.from_positions, ReadRow(naming, row))) rows[*key].push_back(row);
  }
  return rows;
}

bool RelationshipKeeper::Plan(TableWriter* writer, RowId row, Planned& planned,
                              std::vector<std::pair<TableWriter*, uint32_t>>& added, std::u16string* blocker) {
  // A worklist rather than recursion: a table that names its own rows (a parent column) can
  // chain as many cascades as it has rows, far deeper than the stack.
  std::vector<std::pair<TableWriter*, RowId>> pending;
  auto schedule = [&](TableWriter* table, RowId id) {
    if (!planned[table].insert(id.packed()).second) return;
    added.emplace_back(table, id.packed());
    pending.emplace_back(table, id);
  };
  schedule(writer, row);
  while (!pending.empty()) {
    const auto [table, id] = pending.back();
    pending.pop_back();
    std::optional<std::vector<Value>> values;
    for (const Resolved& link : Resolve()) {
      if (link.to != table) continue;
      if (!values) values = ReadRow(table->table(), id);
      const std::optional<std::string> key = KeyOf(link, link.to_positions, *values);
      if (!key) continue;
      const RowsByKey& naming = NamingRows(link);
      const auto found = naming.find(*key);
      if (found == naming.end()) continue;
      for (RowId child : found->second) {
        if (planned[link.from].contains(child.packed())) continue;
        if (!link.relationship->cascades_deletes()) {
          *blocker = link.from->table().name;
          return false;
        }
        schedule(link.from, child);
      }
    }
  }
  return true;
}

DeletionOutcome RelationshipKeeper::DeleteAll(TableWriter& writer) {
  DeletionOutcome outcome;
  const std::vector<RowId> rows = ListLiveRows(store_, writer.table());
  bool referenced = false;
  for (const Resolved& link : Resolve()) referenced = referenced || link.to == &writer;
  if (!referenced) {
    writer.DeleteAll();
    outcome.deleted = static_cast<long>(rows.size());
    return outcome;
  }
  naming_rows_.clear();  // read afresh for this statement
  Planned planned;
  std::vector<TableWriter*> order = {&writer};  // tables in the order they are met
  for (RowId row : rows) {
    std::vector<std::pair<TableWriter*, uint32_t>> added;
    std::u16string blocker;
    if (Plan(&writer, row, planned, added, &blocker)) continue;
    // Jet deletes a row with all that cascades from it, or nothing of it.
    for (auto& [table, packed] : added) planned[table].erase(packed);
    ++outcome.kept;
    auto& kept_for = outcome.kept_for;
    if (std::find(kept_for.begin(), kept_for.end(), blocker) == kept_for.end()) kept_for.push_back(blocker);
  }
  naming_rows_.clear();
  for (const Resolved& link : Resolve()) {
    if (planned[link.from].empty() || std::find(order.begin(), order.end(), link.from) != order.end()) continue;
    order.push_back(link.from);
  }
  for (TableWriter* table : order) {
    const std::set<uint32_t>& doomed = planned[table];
    long deleted = 0;
    if (doomed.empty()) {
      // every row of the statement's table stays
    } else if (doomed.size() == ListLiveRows(store_, table->table()).size()) {
      deleted = static_cast<long>(doomed.size());
      table->DeleteAll();
    } else {
      RowSet set;
      for (uint32_t packed : doomed) set.insert(RowId::FromPacked(packed));
      deleted = table->DeleteRows(set);
    }
    if (table == &writer) {
      outcome.deleted = deleted;
    } else if (deleted > 0) {
      outcome.cascaded.emplace_back(table->table().name, deleted);
    }
  }
  return outcome;
}

std::vector<BrokenRow> RelationshipKeeper::FindBroken() {
  // Both tables read once, through their pages only: the check also runs on files this
  // engine does not write, and must not trust the indexes it checks.
  std::vector<BrokenRow> broken;
  for (const Resolved& link : Resolve()) {
    std::set<std::string> referenced;
    for (RowId row : ListLiveRows(store_, link.to->table())) {
      if (auto key = KeyOf(link, link.to_positions, ReadRow(link.to->table(), row))) referenced.insert(*key);
    }
    const TableDefinition& naming = link.from->table();
    for (RowId row : ListLiveRows(store_, naming)) {
      const std::vector<Value> values = ReadRow(naming, row);
      bool any_null = false;
      for (int position : link.from_positions) any_null = any_null || values[position].is_null();
      if (any_null) continue;
      const std::optional<std::string> key = KeyOf(link, link.from_positions, values);
      if (key && referenced.count(*key)) continue;
      BrokenRow entry{link.relationship->name, naming.name, row, {}};
      for (int position : link.from_positions) entry.values.push_back(values[position]);
      broken.push_back(std::move(entry));
    }
  }
  return broken;
}

}  // namespace engine::jet
