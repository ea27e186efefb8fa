#include "engine/jet/create/relationship_creator.h"

#include <algorithm>

#include "engine/base/error.h"
#include "engine/jet/catalog/table_definition_reader.h"
#include "engine/jet/storage/pager.h"
#include "engine/jet/table/table_writer.h"
#include "engine/text/case_fold.h"

namespace engine::jet {
namespace {

const CatalogEntry& Find(const std::vector<CatalogEntry>& catalog, std::u16string_view name, const std::string& file) {
  for (const CatalogEntry& entry : catalog) {
    if (SameName(entry.name, name)) return entry;
  }
  throw Error(file, "the database has no table \"" + ToUtf8(name) + "\"", ErrorKind::NoSuchTable);
}

int PositionOf(const TableDefinition& table, std::u16string_view name, const std::string& file) {
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (SameName(table.columns[i].name, name)) return static_cast<int>(i);
  }
  throw Error(file, "table \"" + ToUtf8(table.name) + "\" has no column \"" + ToUtf8(name) + "\"",
              ErrorKind::NoSuchColumn);
}

// Whether a unique index of `table` has exactly these columns, in any order.
bool HasUniqueIndexOn(const TableDefinition& table, std::vector<int> positions) {
  std::sort(positions.begin(), positions.end());
  for (const RealIndex& index : table.real_indexes) {
    if (!index.unique()) continue;
    std::vector<int> columns;
    for (const IndexColumn& column : index.columns) columns.push_back(table.PositionOfNumber(column.column_number));
    std::sort(columns.begin(), columns.end());
    if (columns == positions) return true;
  }
  return false;
}

}  // namespace

void CreateRelationship(const std::filesystem::path& file, const Relationship& relationship) {
  const std::string name = file.string();
  std::unique_ptr<Pager> pager = Pager::Open(file, OpenMode::ReadWrite);
  if (pager->format().is_jet3()) {
    throw Error(name, "relationships can only be added to Access 2000-2003 databases", ErrorKind::UnsupportedFormat);
  }
  if (relationship.columns.empty() || relationship.columns.size() != relationship.referenced_columns.size()) {
    throw Error(name, "a relationship needs as many referenced columns as columns, at least one", ErrorKind::Other);
  }
  const TextDecoder text(JetVersion::Jet4, pager->header().code_page, name);
  const std::vector<CatalogEntry> catalog = ReadCatalog(*pager, text);
  for (const Relationship& existing : ReadRelationships(*pager, text, catalog)) {
    if (SameName(existing.name, relationship.name)) {
      throw Error(name, "a relationship named \"" + ToUtf8(relationship.name) + "\" exists", ErrorKind::AlreadyExists);
    }
  }
  const CatalogEntry& from = Find(catalog, relationship.table, name);
  const CatalogEntry& to = Find(catalog, relationship.referenced_table, name);
  const TableDefinition from_table = ReadTableDefinition(*pager, text, from.tdef_page, from.name);
  const TableDefinition to_table = ReadTableDefinition(*pager, text, to.tdef_page, to.name);
  std::vector<int> referenced;
  for (size_t i = 0; i < relationship.columns.size(); ++i) {
    PositionOf(from_table, relationship.columns[i], name);
    referenced.push_back(PositionOf(to_table, relationship.referenced_columns[i], name));
  }
  if (!HasUniqueIndexOn(to_table, referenced)) {
    throw Error(name,
                "table \"" + ToUtf8(to_table.name) +
                    "\" has no unique index on exactly the referenced columns, which Jet needs to find the row",
                ErrorKind::Other);
  }
  const CatalogEntry& rows_table = Find(catalog, u"MSysRelationships", name);
  const TableDefinition definition = ReadTableDefinition(*pager, text, rows_table.tdef_page, rows_table.name);
  try {
    TableWriter writer(*pager, definition, TextLocale{}, name);
    for (size_t pair = 0; pair < relationship.columns.size(); ++pair) {
      writer.AddRow(RelationshipRow(definition, relationship, pair));
    }
    writer.Flush();
    pager->Commit();
  } catch (...) {
    pager->Rollback();
    throw;
  }
}

}  // namespace engine::jet
