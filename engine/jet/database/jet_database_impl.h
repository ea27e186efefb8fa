// The class behind OpenJetDatabase, shared by the files of this folder that implement it
// (not for use outside it). Its jobs, one file each:
//   jet_database.cpp           the engine::Database facade: tables, record sets, lookups, opening
//   jet_database_commits.cpp   writing, with commits grouped (a second after the first unsaved record, on
//                              Commit and when the database closes) and long changes
//   jet_database_caches.cpp    what is kept between calls: catalogue, table definitions,
//                              lookups and table writers, read again after another
//                              program's commit
//   jet_database_rollback.cpp  a failed write rolls the pages back, and the records and
//                              long change it took with it are accounted for
// Beside it, jet_prepared_lookup.cpp asks one statement again and again with another literal
// (PrepareLookup), through CountEqual.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/database/database.h"
#include "engine/base/error.h"
#include "engine/jet/catalog/catalog.h"
#include "engine/jet/row/text_codec.h"
#include "engine/jet/rules/table_rules.h"
#include "engine/jet/storage/pager.h"
#include "engine/jet/table/record_writer.h"
#include "engine/jet/table/relationship_keeper.h"
#include "engine/jet/table/row_lookup.h"
#include "engine/jet/table/table_writer.h"

namespace engine::jet {

class JetDatabase : public Database, public RecordWriter {
 public:
  JetDatabase(const std::filesystem::path& path, std::unique_ptr<Pager> pager, const TextLocale& locale);

  // Listed in name order, as Jet lists its table definitions (by the catalogue's name index,
  // so letter case and accents do not count), whatever order the catalogue rows have.
  std::vector<TableInfo> TableDefs() const override;
  std::unique_ptr<Recordset> OpenRecordset(std::u16string_view source) override;
  // Parsed once; the table and column found again only after another program's commit.
  std::unique_ptr<PreparedLookup> PrepareLookup(std::u16string_view before, std::u16string_view after) override;

  // What a prepared lookup keeps between literals: the table and column it names, and where
  // they were found in the pager's generation `generation`.
  struct LookupPlan {
    std::u16string table_name;
    std::u16string column_name;
    std::shared_ptr<const TableDefinition> table;  // null until found
    int position = 0;
    uint64_t generation = 0;
  };
  // The number of rows whose column equals `literal`, as a record set opened on the plan's
  // statement counts them.
  long CountEqual(LookupPlan& plan, std::u16string_view literal);

  // Writing. Each Update and each Execute is all-or-nothing: a row is fully checked before
  // any page changes, and a failure while writing rolls the pages back to the last commit.
  // Commits are grouped (a second after the first unsaved record, on Commit and when the database closes).
  ~JetDatabase() override;
  void Close() override;
  Value ConvertField(const TableDefinition& table, int position, const Value& value) override;
  Value ConvertField(const TableDefinition& table, int position, Value&& value) override;
  Value ConvertTextForm(const TableDefinition& table, int position, const Value& value,
                        const TextLocale& locale) override;
  std::vector<Value> NewRecord(const TableDefinition& table) override;
  void AddRecord(const TableDefinition& table, std::vector<Value> values) override;
  // DELETE * keeps the database's relationships (see RelationshipKeeper).
  StatementResult Execute(std::u16string_view statement) override;
  void BeginTransaction() override;
  std::filesystem::path SetAsideJournal() const override { return pager_->set_aside_journal(); }
  void Commit() override;
  StoredRecords stored_records() const override { return stored_; }
  const std::filesystem::path& path() const override { return path_; }

 private:
  // Caches.
  void CatchUp() const;
  std::shared_ptr<const TableDefinition> Table(std::u16string_view name);
  bool IsSystemTable(std::u16string_view name) const;
  int ColumnPosition(const TableDefinition& table, std::u16string_view name) const;
  RowLookup& Lookup(const std::shared_ptr<const TableDefinition>& table);
  // WHERE [column] = literal, through the table writer's trees while writing.
  std::vector<RowId> FindEqual(const std::shared_ptr<const TableDefinition>& table, int position,
                               std::u16string_view literal);
  TableWriter& Writer(const TableDefinition& table);
  // The relationships kept on every write, read from the file once.
  RelationshipKeeper& Relationships();
  TableRules RulesOf(const TableDefinition& table);
  void FlushWriters();
  void ForgetWriterCaches();

  // Rollback bookkeeping.
  void WriteOrRollBack(const std::function<void()>& write);
  void RefuseIfChangeUndone() const;
  void TakeBackUncommitted();

  std::filesystem::path path_;
  std::unique_ptr<Pager> pager_;
  TextLocale locale_;
  TextDecoder text_;
  mutable std::vector<CatalogEntry> catalog_;
  mutable std::optional<uint64_t> catalog_generation_;  // the pager's generation it was read in
  mutable std::map<size_t, std::shared_ptr<const TableDefinition>> definitions_;  // by catalogue position
  std::unique_ptr<RelationshipKeeper> relationships_;  // before the writers, which point at it
  std::map<PageNumber, std::unique_ptr<TableWriter>> writers_;                    // by TDEF page
  mutable std::map<PageNumber, std::unique_ptr<RowLookup>> lookups_;              // by TDEF page (read-only)
  std::unique_ptr<RowLookup> fresh_lookup_;
  std::chrono::steady_clock::time_point last_commit_ = std::chrono::steady_clock::now();
  std::optional<Error> undone_change_;  // a long change undone by a failure, until Commit
  long uncommitted_records_ = 0;  // stored by AddRecord since the last commit
  StoredRecords stored_;
};

}  // namespace engine::jet
