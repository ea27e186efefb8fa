// An in-memory archive for tests of the code above the engine: tables with typed columns,
// record sets on a table or on "Select * From T where [C]='x';" (exact equality of the
// column's text form, no index, duplicates allowed), writes converted to the column's type,
// and failures injected on any operation.
#pragma once

#include <climits>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/database/database.h"
#include "engine/base/error.h"

namespace testsupport {

struct MemoryColumn {
  std::u16string name;
  engine::Value::Type type = engine::Value::Type::Text;
  size_t max_length = 0;    // text columns: the longest text accepted, 0 for no limit (memo)
  bool autonumber = false;  // integer columns: numbered 1, 2, ... when stored
  bool allow_empty_text = true;
  uint16_t code_page = 0;  // text columns: kept in that single-byte code page, as an Access 97 file keeps them
};

struct MemoryTable {
  std::u16string name;
  std::vector<MemoryColumn> columns;
  std::vector<std::vector<engine::Value>> rows;
  long next_number = 1;

  int ColumnPosition(std::u16string_view column) const;  // -1 when there is none
  // The rows' values of one column, in row order.
  std::vector<engine::Value> Column(std::u16string_view column) const;
};

class MemoryDatabase : public engine::Database {
 public:
  explicit MemoryDatabase(engine::TextLocale locale = engine::TextLocale::English(),
                          std::filesystem::path path = "memoria.mdb");

  MemoryTable& AddTable(std::u16string name, std::vector<MemoryColumn> columns);
  MemoryTable& table(std::u16string_view name);
  // Appends a row given in column order (as is, without conversion).
  void AddRow(std::u16string_view table_name, std::vector<engine::Value> row);

  // The operation fails (engine::Error with `reason` and `kind`) after `skip` successful calls, `times`
  // times. Operations: OpenRecordset, Execute, Commit, RecordCount, MoveFirst, MoveLast,
  // MoveNext, GetValue, AddNew, SetValue, Update. `detail`, when given, narrows it: a column
  // name for GetValue and SetValue (by position too), a part of the record source for
  // OpenRecordset.
  void FailOn(std::string operation, std::u16string detail = {}, int skip = 0, int times = INT_MAX,
              std::string reason = "injected failure", engine::ErrorKind kind = engine::ErrorKind::Io);

  // Every record source opened, in order, and the number of commits.
  const std::vector<std::u16string>& opened_sources() const { return opened_sources_; }
  int commits() const { return commits_; }

  // As the Jet engine: rows stored by Update wait for a commit, and a failed commit takes
  // them out of their tables again.
  void NoteStored(MemoryTable& table) { uncommitted_.push_back(&table); }
  StoredRecords stored_records() const override { return stored_; }

  // engine::Database
  std::vector<engine::TableInfo> TableDefs() const override;
  std::unique_ptr<engine::Recordset> OpenRecordset(std::u16string_view source) override;
  engine::StatementResult Execute(std::u16string_view statement) override;
  void Commit() override;
  // Nothing here outlives the process, so a change is all or nothing already.
  void BeginTransaction() override {}
  const std::filesystem::path& path() const override { return path_; }

  // Used by the record sets.
  void MaybeFail(std::string_view operation, std::u16string_view detail = {});
  engine::Value Convert(const MemoryColumn& column, const engine::Value& value) const;

 private:
  struct Fault {
    std::string operation;
    std::u16string detail;
    int skip;
    int times;
    std::string reason;
    engine::ErrorKind kind;
  };

  engine::TextLocale locale_;
  std::filesystem::path path_;
  std::map<std::u16string, MemoryTable, std::less<>> tables_;
  std::vector<Fault> faults_;
  std::vector<std::u16string> opened_sources_;
  int commits_ = 0;
  std::vector<MemoryTable*> uncommitted_;  // one entry per row stored since the last commit
  StoredRecords stored_;
};

}  // namespace testsupport
