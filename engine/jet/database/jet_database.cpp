// A Jet database as an engine::Database: the pager, the catalogue read on open, and the
// table definitions read the first time a table is used and kept, so that reopening record
// sets (a binding's Refresh) reads only rows. A file opened read-only is read in reads (see
// pager.h): one that another program changed between them has its catalogue and definitions
// read again. This file is the facade; jet_database_impl.h lists the other jobs' files.
#include "engine/jet/database/jet_database.h"

#include <algorithm>
#include <functional>

#include "engine/jet/database/jet_database_impl.h"
#include "engine/jet/database/jet_prepared_lookup.h"
#include "engine/jet/database/jet_recordset.h"
#include "engine/jet/index/sort_key.h"
#include "engine/jet/row/table_scan.h"
#include "engine/jet/row/text_form_conversion.h"
#include "engine/jet/row/value_conversion.h"
#include "engine/sql/sql.h"
#include "engine/text/code_page.h"

namespace engine::jet {

JetDatabase::JetDatabase(const std::filesystem::path& path, std::unique_ptr<Pager> pager, const TextLocale& locale)
    : path_(path),
      pager_(std::move(pager)),
      locale_(locale),
      text_(pager_->format().version, pager_->header().code_page, pager_->file_name()) {
  ReadHold read(*pager_);
  CatchUp();
}

std::vector<TableInfo> JetDatabase::TableDefs() const {
  ReadHold read(*pager_);
  CatchUp();
  std::vector<std::pair<std::string, TableInfo>> keyed;
  keyed.reserve(catalog_.size());
  for (const CatalogEntry& entry : catalog_) {
    std::string key;
    AppendTextKey(entry.name, /*ascending=*/true, &key);
    keyed.push_back({std::move(key), {entry.name, entry.is_system}});
  }
  std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<TableInfo> tables;
  tables.reserve(keyed.size());
  for (auto& [key, table] : keyed) tables.push_back(std::move(table));
  return tables;
}

std::unique_ptr<Recordset> JetDatabase::OpenRecordset(std::u16string_view source) {
  SelectStatement statement;
  try {
    statement = ParseRecordSource(source);
  } catch (const Error& error) {
    throw error.Within(pager_->file_name());
  }
  ReadHold read(*pager_);
  CatchUp();
  std::shared_ptr<const TableDefinition> table = Table(statement.table);
  RecordWriter* writer = pager_->writable() ? this : nullptr;
  if (!statement.where_column) {
    // Listed when first needed: the import opens the whole table only to add a record. By
    // then another program may have changed the file: the table is looked up again.
    const bool held_to_count = table->table_type != kSystemTableType && !IsSystemTable(statement.table);
    auto list_rows = [this, name = std::move(statement.table), held_to_count] {
      CatchUp();
      std::shared_ptr<const TableDefinition> now = Table(name);
      JetRecordset::ListedRows listed{now, ListLiveRows(*pager_, *now), std::nullopt};
      if (held_to_count) listed.counted = CountedRows(*pager_, *now);
      return listed;
    };
    return std::make_unique<JetRecordset>(*pager_, table, text_, JetRecordset::RowLister(std::move(list_rows)), writer);
  }
  const int position = ColumnPosition(*table, *statement.where_column);
  std::vector<RowId> rows = FindEqual(table, position, statement.where_literal);
  return std::make_unique<JetRecordset>(*pager_, table, text_, std::move(rows), writer);
}

std::vector<RowId> JetDatabase::FindEqual(const std::shared_ptr<const TableDefinition>& table, int position,
                                          std::u16string_view literal) {
  // Jet 3 holds every text in the file's code page, a statement's literals too: a literal is
  // compared as it would be stored, so a code stored with "?" for a Greek letter is found again.
  std::optional<std::u16string> as_stored;
  const ColumnDefinition& column = table->columns.at(static_cast<size_t>(position));
  if (column.code_page_text) as_stored = ReplacedInSingleByte(UpperHalfOf(column.code_page), literal);
  if (as_stored) literal = *as_stored;
  // While writing, index changes wait in the table writer (see TableWriter::Flush): it
  // answers lookups itself, and anything else reads the pages after a flush. The writer
  // checks the table before its first lookup, as before its first change; damage found
  // there, or later on the way down a tree, ends the change under way like a failed write.
  std::optional<std::vector<RowId>> found;
  if (pager_->writable()) {
    // Handed over by reference: a std::function would otherwise allocate for the lambda's
    // captures on every lookup.
    const auto find = [&] { found = Writer(*table).FindEqual(position, literal); };
    WriteOrRollBack(std::ref(find));
  }
  if (found) return std::move(*found);
  // No tree answers for the column: the pages are read, so the index changes waiting in the
  // writers go to them first, a write like any other, undone with the change when it fails.
  if (pager_->writable()) {
    const auto flush = [&] { FlushWriters(); };
    WriteOrRollBack(std::ref(flush));
  }
  return Lookup(table).FindEqual(position, literal);
}

std::unique_ptr<PreparedLookup> JetDatabase::PrepareLookup(std::u16string_view before, std::u16string_view after) {
  return std::make_unique<JetPreparedLookup>(*this, before, after);
}

long JetDatabase::CountEqual(LookupPlan& plan, std::u16string_view literal) {
  ReadHold read(*pager_);
  CatchUp();
  // Planned again after another program's commit, as OpenRecordset would read the table anew.
  if (!plan.table || plan.generation != pager_->generation()) {
    plan.table.reset();
    std::shared_ptr<const TableDefinition> table = Table(plan.table_name);
    plan.position = ColumnPosition(*table, plan.column_name);
    plan.table = std::move(table);
    plan.generation = pager_->generation();
  }
  return static_cast<long>(FindEqual(plan.table, plan.position, literal).size());
}

Value JetDatabase::ConvertField(const TableDefinition& table, int position, const Value& value) {
  try {
    return ConvertForColumn(table.columns.at(position), value, locale_);
  } catch (const Error& error) {
    throw error.Within(pager_->file_name(), "table \"" + ToUtf8(table.name) + "\": ");
  }
}

Value JetDatabase::ConvertField(const TableDefinition& table, int position, Value&& value) {
  try {
    return ConvertForColumn(table.columns.at(position), std::move(value), locale_);
  } catch (const Error& error) {
    throw error.Within(pager_->file_name(), "table \"" + ToUtf8(table.name) + "\": ");
  }
}

Value JetDatabase::ConvertTextForm(const TableDefinition& table, int position, const Value& value,
                                   const TextLocale& locale) {
  try {
    return ConvertTextFormForColumn(table.columns.at(position), value, locale, locale_);
  } catch (const Error& error) {
    throw error.Within(pager_->file_name(), "table \"" + ToUtf8(table.name) + "\": ");
  }
}

std::vector<Value> JetDatabase::NewRecord(const TableDefinition& table) { return Writer(table).NewRecord(); }

std::unique_ptr<engine::Database> OpenJetDatabase(const std::filesystem::path& path, OpenMode mode,
                                                  const TextLocale& locale) {
  return std::make_unique<JetDatabase>(path, Pager::Open(path, mode), locale);
}

std::unique_ptr<engine::Database> OpenJetDatabaseFromBytes(std::vector<uint8_t> bytes, const std::string& name,
                                                           const TextLocale& locale) {
  return std::make_unique<JetDatabase>(name, Pager::FromBytes(std::move(bytes), name), locale);
}

}  // namespace engine::jet
