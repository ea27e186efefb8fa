// The relationships of a database: the rows of MSysRelationships, one row per column pair,
// gathered by relationship name. A relationship ties the columns of a table (szObject: the
// table whose rows name others, the "many" side) to the columns of a referenced table
// (szReferencedObject, the "one" side, whose values a unique index keeps apart).
// Layout and flags: FORMAT.md, "Relationships".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/jet/catalog/catalog.h"
#include "engine/jet/row/text_codec.h"
#include "engine/jet/storage/page_store.h"
#include "engine/value/value.h"

namespace engine::jet {

// The grbit column, as Jet and DAO define its bits (DAO's RelationAttributeEnum).
inline constexpr uint32_t kRelationOneToOne = 0x00000001;
inline constexpr uint32_t kRelationNotEnforced = 0x00000002;
inline constexpr uint32_t kRelationInherited = 0x00000004;  // between linked tables of another file
inline constexpr uint32_t kRelationCascadeUpdates = 0x00000100;
inline constexpr uint32_t kRelationCascadeDeletes = 0x00001000;
inline constexpr uint32_t kRelationCascadeNull = 0x00002000;  // Access 2010 and later
inline constexpr uint32_t kRelationLeftJoin = 0x01000000;
inline constexpr uint32_t kRelationRightJoin = 0x02000000;

struct Relationship {
  std::u16string name;
  uint32_t flags = 0;
  std::u16string table;              // whose rows name rows of the referenced table
  std::vector<std::u16string> columns;
  std::u16string referenced_table;
  std::vector<std::u16string> referenced_columns;  // paired with `columns`

  // Jet keeps it on every write only when referential integrity is on; a relationship
  // between linked tables is the other file's to keep.
  bool enforced() const { return (flags & (kRelationNotEnforced | kRelationInherited)) == 0; }
  bool cascades_deletes() const { return (flags & kRelationCascadeDeletes) != 0; }
};

// Every relationship, in the order of their first rows; none when the database has no
// MSysRelationships. Rows with a missing name, table or column are left out (Jet never writes
// them). Throws "damaged" when the table cannot be read.
std::vector<Relationship> ReadRelationships(PageStore& store, const TextDecoder& text,
                                            const std::vector<CatalogEntry>& catalog);

// The values of one MSysRelationships row, by the table's column position, for a writer that
// adds a relationship (the column pair at `pair` of `relationship`).
std::vector<Value> RelationshipRow(const TableDefinition& msys_relationships, const Relationship& relationship,
                                   size_t pair);

}  // namespace engine::jet
