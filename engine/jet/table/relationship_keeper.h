// The relationships Jet keeps on every write (referential integrity, MSysRelationships): a
// new row whose columns name a row of a referenced table must find it there, and a row that
// rows of another table name is deleted only with them (the relationship cascades deletes)
// or not at all. Relationships that are not enforced, or that name a table or column the
// database lacks, are left alone, as Jet leaves them.
//
// Values are compared as the referenced columns' index compares them (the referenced side of
// an enforced relationship always has a unique index): a value converted to the referenced
// column's type, then its key, so texts differing in letter case are the same, as in Jet.
// The referenced row is found through that index when the engine can read it, otherwise by
// reading the table's rows (tables of older files).
// Rules: FORMAT.md, "Relationships".
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/jet/catalog/relationships.h"
#include "engine/jet/format/table_definition.h"
#include "engine/jet/row/text_codec.h"
#include "engine/jet/storage/page_store.h"
#include "engine/value/value.h"

namespace engine::jet {

class TableWriter;

// What DELETE * FROM a table did to it and to the tables related to it.
struct DeletionOutcome {
  long deleted = 0;                         // rows of the table
  long kept = 0;                            // rows kept: rows of other tables name them
  std::vector<std::u16string> kept_for;     // those tables, in the order met
  std::vector<std::pair<std::u16string, long>> cascaded;  // rows other tables lost with them
};

// A row that names a row its referenced table does not have.
struct BrokenRow {
  std::u16string relationship;
  std::u16string table;
  RowId row;
  std::vector<Value> values;  // the naming columns' values, in the relationship's order
};

class RelationshipKeeper {
 public:
  // The writer of the named table, or null when the database has no such table.
  using WriterOf = std::function<TableWriter*(std::u16string_view table)>;

  RelationshipKeeper(PageStore& store, std::vector<Relationship> relationships, WriterOf writer_of,
                     std::string file_name);

  // Throws engine::Error (RuleViolation, its reason the Italian sentence naming the
  // referenced table and the value) when the new row of `table` (values converted, by column
  // position) names a row that is not there. Rows with a Null in the naming columns pass, as
  // in Jet.
  void CheckNewRow(const TableDefinition& table, const std::vector<Value>& values);

  // DELETE * FROM the writer's table: every row that may go goes, with the rows that cascade
  // from it (recursively); a row that a non-cascading relationship's rows still name stays,
  // with everything its deletion would have cascaded to. One change: the caller commits or
  // rolls back. Throws what the writers throw.
  DeletionOutcome DeleteAll(TableWriter& writer);

  // Every row of the database that breaks an enforced relationship.
  std::vector<BrokenRow> FindBroken();

 private:
  // A relationship whose tables and columns the database has.
  struct Resolved {
    const Relationship* relationship;
    TableWriter* from;  // the naming side
    TableWriter* to;    // the referenced side
    std::vector<int> from_positions, to_positions;
  };
  // A row already planned for deletion, by table.
  using Planned = std::map<const TableWriter*, std::set<uint32_t>>;
  // The rows of a naming table by the key of the values they name.
  using RowsByKey = std::unordered_map<std::string, std::vector<RowId>>;

  const std::vector<Resolved>& Resolve();
  // The key of the values at `positions` of `values` as the referenced columns compare them;
  // nothing when one of them is Null or cannot be a value of its referenced column.
  std::optional<std::string> KeyOf(const Resolved& link, const std::vector<int>& positions,
                                   const std::vector<Value>& values) const;
  std::vector<Value> ReadRow(const TableDefinition& table, RowId row);
  bool ReferencedRowExists(const Resolved& link, const std::vector<Value>& values);
  const RowsByKey& NamingRows(const Resolved& link);
  // Plans the row's deletion and what cascades from it; false (and `blocker` named) when a
  // relationship that does not cascade keeps it. Every row planned is listed in `added`.
  bool Plan(TableWriter* writer, RowId row, Planned& planned, std::vector<std::pair<TableWriter*, uint32_t>>& added,
            std::u16string* blocker);

  PageStore& store_;
  std::vector<Relationship> relationships_;
  WriterOf writer_of_;
  std::string file_name_;
  TextDecoder text_;
  std::optional<std::vector<Resolved>> resolved_;
  std::map<const Resolved*, RowsByKey> naming_rows_;  // for the statement under way
};

}  // namespace engine::jet
