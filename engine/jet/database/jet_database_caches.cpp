// What a Jet database keeps between calls: the catalogue, the table definitions read so far,
// a lookup per table while read-only, and a writer per table with its batched index changes.
// After another program's commit the catalogue, definitions and lookups are read again;
// after a rollback the writers drop what they cached from the pages.
#include "engine/text/case_fold.h"
#include "engine/jet/catalog/property_block.h"
#include "engine/jet/catalog/relationships.h"
#include "engine/jet/catalog/table_definition_reader.h"
#include "engine/jet/database/jet_database_impl.h"

namespace engine::jet {

// What was read from the file before another program changed it is read again.
void JetDatabase::CatchUp() const {
  if (catalog_generation_ && *catalog_generation_ == pager_->generation()) return;
  catalog_ = ReadCatalog(*pager_, text_);
  definitions_.clear();
  lookups_.clear();
  catalog_generation_ = pager_->generation();
}

std::shared_ptr<const TableDefinition> JetDatabase::Table(std::u16string_view name) {
  for (size_t i = 0; i < catalog_.size(); ++i) {
    if (!SameName(catalog_[i].name, name)) continue;
    auto cached = definitions_.find(i);
    if (cached != definitions_.end()) return cached->second;
    auto table = std::make_shared<const TableDefinition>(
        ReadTableDefinition(*pager_, text_, catalog_[i].tdef_page, catalog_[i].name));
    definitions_.emplace(i, table);
    return table;
  }
  throw Error(pager_->file_name(), "the database has no table \"" + ToUtf8(name) + "\"", ErrorKind::NoSuchTable);
}

bool JetDatabase::IsSystemTable(std::u16string_view name) const {
  for (const CatalogEntry& entry : catalog_) {
    if (SameName(entry.name, name)) return entry.is_system;
  }
  return false;
}

int JetDatabase::ColumnPosition(const TableDefinition& table, std::u16string_view name) const {
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (SameName(table.columns[i].name, name)) return static_cast<int>(i);
  }
  throw Error(pager_->file_name(), "table \"" + ToUtf8(table.name) + "\" has no column \"" + ToUtf8(name) + "\"",
              ErrorKind::NoSuchColumn);
}

// Read-only databases keep one lookup per table, with the index pages it has decoded;
// while writing, pages change under it, so each lookup starts afresh.
RowLookup& JetDatabase::Lookup(const std::shared_ptr<const TableDefinition>& table) {
  if (pager_->writable()) {
    fresh_lookup_ = std::make_unique<RowLookup>(*pager_, *table, text_, locale_);
    return *fresh_lookup_;
  }
  auto& lookup = lookups_[table->tdef_page];
  if (!lookup) lookup = std::make_unique<RowLookup>(*pager_, *table, text_, locale_);
  return *lookup;
}

TableWriter& JetDatabase::Writer(const TableDefinition& table) {
  auto& writer = writers_[table.tdef_page];
  if (!writer) {
    // Read first: a writer that would not keep the relationships is never made.
    RelationshipKeeper& relationships = Relationships();
    writer = std::make_unique<TableWriter>(*pager_, table, locale_, pager_->file_name(), RulesOf(table));
    writer->KeepRelationships(&relationships);
  }
  return *writer;
}

// A writable file stays ours while it is open (no other program commits), so what is read
// once holds; a read-only one never writes.
RelationshipKeeper& JetDatabase::Relationships() {
  if (!relationships_) {
    CatchUp();
    auto writer_of = [this](std::u16string_view name) -> TableWriter* {
      for (const CatalogEntry& entry : catalog_) {
        if (SameName(entry.name, name)) return &Writer(*Table(name));
      }
      return nullptr;
    };
    relationships_ = std::make_unique<RelationshipKeeper>(*pager_, ReadRelationships(*pager_, text_, catalog_),
                                                          std::move(writer_of), pager_->file_name());
  }
  return *relationships_;
}

// The defaults and rules in the table's property block. A block that cannot be read
// leaves the rules unknown, and a table whose rules are unknown is read but not written.
TableRules JetDatabase::RulesOf(const TableDefinition& table) {
  for (const CatalogEntry& entry : catalog_) {
    if (entry.tdef_page != table.tdef_page) continue;
    try {
      const std::vector<uint8_t> bytes = ReadPropertyBytes(*pager_, text_, entry);
      return TableRules(table, DecodePropertyBlock(bytes.data(), bytes.size(), text_, pager_->file_name()));
    } catch (const Error& error) {
      return TableRules::Refusing("table \"" + ToUtf8(table.name) +
                                      "\": its field properties cannot be read, so its rules are unknown (" +
                                      error.reason() + ")",
                                  ErrorKind::Damaged);
    }
  }
  return {};
}

void JetDatabase::FlushWriters() {
  for (auto& [page, writer] : writers_) writer->Flush();
}

void JetDatabase::ForgetWriterCaches() {
  for (auto& [page, writer] : writers_) writer->ForgetCachedPages();
}

}  // namespace engine::jet
