// A Jet database as an engine::Database: the pager, the catalogue read on open, and the
// table definitions read the first time a table is used and kept, so that reopening record
// sets (a binding's Refresh) reads only rows. A file opened read-only is read in reads (see
// pager.h): one that another program changed between them has its catalogue and definitions
// read again.
#include "engine/jet/database/jet_database.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <optional>

#include "engine/case_fold.h"
#include "engine/error.h"
#include "engine/jet/catalog/catalog.h"
#include "engine/jet/catalog/property_block.h"
#include "engine/jet/catalog/table_definition_reader.h"
#include "engine/jet/database/jet_recordset.h"
#include "engine/jet/index/sort_key.h"
#include "engine/jet/row/table_scan.h"
#include "engine/jet/row/text_codec.h"
#include "engine/jet/row/value_conversion.h"
#include "engine/jet/storage/pager.h"
#include "engine/jet/table/row_lookup.h"
#include "engine/jet/table/table_writer.h"
#include "engine/sql.h"

namespace engine::jet {
namespace {

class JetDatabase : public Database, public RecordWriter {
 public:
  JetDatabase(const std::filesystem::path& path, std::unique_ptr<Pager> pager, const TextLocale& locale)
      : path_(path),
        pager_(std::move(pager)),
        locale_(locale),
        text_(pager_->format().version, pager_->header().code_page, pager_->file_name()) {
    ReadHold read(*pager_);
    CatchUp();
  }

  // Listed in name order, as Jet lists its table definitions (by the catalogue's name index,
  // so letter case and accents do not count), whatever order the catalogue rows have.
  std::vector<TableInfo> TableDefs() const override {
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

  std::unique_ptr<Recordset> OpenRecordset(std::u16string_view source) override {
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
      auto list_rows = [this, name = statement.table, held_to_count] {
        CatchUp();
        std::shared_ptr<const TableDefinition> now = Table(name);
        JetRecordset::ListedRows listed{now, ListLiveRows(*pager_, *now), std::nullopt};
        if (held_to_count) listed.counted = CountedRows(*pager_, *now);
        return listed;
      };
      return std::make_unique<JetRecordset>(*pager_, table, text_, JetRecordset::RowLister(list_rows), writer);
    }
    std::vector<RowId> rows;
    {
      const int position = ColumnPosition(*table, *statement.where_column);
      // While writing, index changes wait in the table writer (see TableWriter::Flush): it
      // answers lookups itself, and anything else reads the pages after a flush. The writer
      // checks the table before its first lookup, as before its first change; damage found
      // there, or later on the way down a tree, ends the change under way like a failed write.
      std::optional<std::vector<RowId>> found;
      if (pager_->writable()) {
        WriteOrRollBack([&] { found = Writer(*table).FindEqual(position, statement.where_literal); });
      }
      if (found) {
        rows = std::move(*found);
      } else {
        FlushWriters();
        rows = Lookup(table).FindEqual(position, statement.where_literal);
      }
    }
    return std::make_unique<JetRecordset>(*pager_, table, text_, std::move(rows), writer);
  }

  // Writing. Each Update and each Execute is all-or-nothing: a row is fully checked before
  // any page changes, and a failure while writing rolls the pages back to the last commit.
  // Commits are grouped (at least once a second, on Commit and when the database closes).
  ~JetDatabase() override {
    try {
      Close();
    } catch (const Error&) {
    }
  }

  void Close() override {
    if (pager_->in_long_change()) {
      pager_->Rollback();
      ForgetWriterCaches();
      TakeBackUncommitted();
      return;
    }
    Commit();
  }

  Value ConvertField(const TableDefinition& table, int position, const Value& value) override {
    try {
      return ConvertForColumn(table.columns.at(position), value, locale_);
    } catch (const Error& error) {
      throw error.Within(pager_->file_name(), "table \"" + ToUtf8(table.name) + "\": ");
    }
  }

  std::vector<Value> NewRecord(const TableDefinition& table) override { return Writer(table).NewRecord(); }

  void AddRecord(const TableDefinition& table, const std::vector<Value>& values) override {
    RefuseIfChangeUndone();
    TableWriter& writer = Writer(table);
    TableWriter::PreparedRow row = writer.Prepare(values);
    WriteOrRollBack([&] { writer.Store(std::move(row)); });
    ++uncommitted_records_;
    if (std::chrono::steady_clock::now() - last_commit_ < std::chrono::seconds(1)) return;
    if (pager_->in_long_change()) {
      WriteOrRollBack([&] { pager_->Spill(); });
      last_commit_ = std::chrono::steady_clock::now();
    } else {
      Commit();
    }
  }

  void Execute(std::u16string_view statement) override {
    DeleteAllStatement del;
    try {
      del = ParseDeleteAll(statement);
    } catch (const Error& error) {
      throw error.Within(pager_->file_name());
    }
    if (!pager_->writable()) throw Error(pager_->file_name(), "the database is open read-only", ErrorKind::ReadOnly);
    RefuseIfChangeUndone();
    TableWriter& writer = Writer(*Table(del.table));
    if (pager_->in_long_change()) {
      // Part of a larger change: it reaches the file with that change's commit.
      WriteOrRollBack([&] { writer.DeleteAll(); });
      return;
    }
    Commit();
    WriteOrRollBack([&] { writer.DeleteAll(); });
    Commit();
  }

  void BeginTransaction() override {
    if (!pager_->writable()) throw Error(pager_->file_name(), "the database is open read-only", ErrorKind::ReadOnly);
    RefuseIfChangeUndone();
    Commit();
    pager_->BeginLongChange();
  }

  std::filesystem::path SetAsideJournal() const override { return pager_->set_aside_journal(); }

  void Commit() override {
    if (undone_change_) {
      // The change this commit was to end was undone by a failure: say so once.
      const Error error = *undone_change_;
      undone_change_.reset();
      throw error;
    }
    WriteOrRollBack([&] { FlushWriters(); });
    // A long change ends here even when it wrote nothing, and lets go of its commit lock.
    if (pager_->has_uncommitted_changes() || pager_->in_long_change()) {
      try {
        pager_->Commit();
      } catch (const Error&) {
        ForgetWriterCaches();
        TakeBackUncommitted();
        throw;
      }
      last_commit_ = std::chrono::steady_clock::now();
    }
    stored_.committed += uncommitted_records_;
    uncommitted_records_ = 0;
  }

  StoredRecords stored_records() const override { return stored_; }

  const std::filesystem::path& path() const override { return path_; }

 private:
  // What was read from the file before another program changed it is read again.
  void CatchUp() const {
    if (catalog_generation_ && *catalog_generation_ == pager_->generation()) return;
    catalog_ = ReadCatalog(*pager_, text_);
    definitions_.clear();
    lookups_.clear();
    catalog_generation_ = pager_->generation();
  }

  std::shared_ptr<const TableDefinition> Table(std::u16string_view name) {
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

  bool IsSystemTable(std::u16string_view name) const {
    for (const CatalogEntry& entry : catalog_) {
      if (SameName(entry.name, name)) return entry.is_system;
    }
    return false;
  }

  int ColumnPosition(const TableDefinition& table, std::u16string_view name) const {
    for (size_t i = 0; i < table.columns.size(); ++i) {
      if (SameName(table.columns[i].name, name)) return static_cast<int>(i);
    }
    throw Error(pager_->file_name(), "table \"" + ToUtf8(table.name) + "\" has no column \"" + ToUtf8(name) + "\"",
                ErrorKind::NoSuchColumn);
  }

  // Read-only databases keep one lookup per table, with the index pages it has decoded;
  // while writing, pages change under it, so each lookup starts afresh.
  RowLookup& Lookup(const std::shared_ptr<const TableDefinition>& table) {
    if (pager_->writable()) {
      fresh_lookup_ = std::make_unique<RowLookup>(*pager_, *table, text_, locale_);
      return *fresh_lookup_;
    }
    auto& lookup = lookups_[table->tdef_page];
    if (!lookup) lookup = std::make_unique<RowLookup>(*pager_, *table, text_, locale_);
    return *lookup;
  }

  TableWriter& Writer(const TableDefinition& table) {
    auto& writer = writers_[table.tdef_page];
    if (!writer) writer = std::make_unique<TableWriter>(*pager_, table, locale_, pager_->file_name(), RulesOf(table));
    return *writer;
  }

  // The defaults and rules in the table's property block. A block that cannot be read
  // leaves the rules unknown, and a table whose rules are unknown is read but not written.
  TableRules RulesOf(const TableDefinition& table) {
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

  template <typename Write>
  void WriteOrRollBack(Write write) {
    const bool lost = pager_->has_uncommitted_changes();
    const bool long_change = pager_->in_long_change();
    try {
      write();
    } catch (const Error& error) {
      pager_->Rollback();
      ForgetWriterCaches();
      TakeBackUncommitted();
      if (long_change) {
        // All or nothing: the whole change is gone, and the writes that would have belonged
        // to it are refused until its Commit reports the failure.
        undone_change_ = Error(pager_->file_name(),
                               error.reason() + " (everything written since the change began was undone)", error.kind());
        throw *undone_change_;
      }
      if (!lost) throw;
      throw Error(pager_->file_name(),
                  error.reason() + " (the records added since the last save were not kept either)", error.kind());
    } catch (...) {
      pager_->Rollback();
      ForgetWriterCaches();
      TakeBackUncommitted();
      throw;
    }
  }

  void RefuseIfChangeUndone() const {
    if (undone_change_) throw *undone_change_;
  }

  // A rollback to the last commit: the records stored since then are gone.
  void TakeBackUncommitted() {
    stored_.taken_back += uncommitted_records_;
    uncommitted_records_ = 0;
  }

  void FlushWriters() {
    for (auto& [page, writer] : writers_) writer->Flush();
  }

  void ForgetWriterCaches() {
    for (auto& [page, writer] : writers_) writer->ForgetCachedPages();
  }

  std::filesystem::path path_;
  std::unique_ptr<Pager> pager_;
  TextLocale locale_;
  TextDecoder text_;
  mutable std::vector<CatalogEntry> catalog_;
  mutable std::optional<uint64_t> catalog_generation_;  // the pager's generation it was read in
  mutable std::map<size_t, std::shared_ptr<const TableDefinition>> definitions_;  // by catalogue position
  std::map<PageNumber, std::unique_ptr<TableWriter>> writers_;                    // by TDEF page
  mutable std::map<PageNumber, std::unique_ptr<RowLookup>> lookups_;              // by TDEF page (read-only)
  std::unique_ptr<RowLookup> fresh_lookup_;
  std::chrono::steady_clock::time_point last_commit_ = std::chrono::steady_clock::now();
  std::optional<Error> undone_change_;  // a long change undone by a failure, until Commit
  long uncommitted_records_ = 0;  // stored by AddRecord since the last commit
  StoredRecords stored_;
};

}  // namespace

std::unique_ptr<engine::Database> OpenJetDatabase(const std::filesystem::path& path, OpenMode mode,
                                                  const TextLocale& locale) {
  return std::make_unique<JetDatabase>(path, Pager::Open(path, mode), locale);
}

std::unique_ptr<engine::Database> OpenJetDatabaseFromBytes(std::vector<uint8_t> bytes, const std::string& name,
                                                           const TextLocale& locale) {
  return std::make_unique<JetDatabase>(name, Pager::FromBytes(std::move(bytes), name), locale);
}

}  // namespace engine::jet
