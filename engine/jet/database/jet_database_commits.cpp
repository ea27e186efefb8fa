// Writing through a Jet database: records added and tables emptied, each all-or-nothing
// (see jet_database_rollback.cpp), with commits grouped so that an import does not pay for
// one per record: one second after the first record not yet saved, on Commit and when the
// database closes. Within a long change (BeginTransaction) the pages saved so far are
// spilled instead, and the change reaches the file with its Commit.
#include <chrono>

#include "engine/jet/database/jet_database_impl.h"
#include "engine/sql/sql.h"

namespace engine::jet {

JetDatabase::~JetDatabase() {
  try {
    Close();
  } catch (const Error&) {
  }
}

void JetDatabase::Close() {
  if (pager_->in_long_change()) {
    pager_->Rollback();
    ForgetWriterCaches();
    TakeBackUncommitted();
    return;
  }
  Commit();
}

void JetDatabase::AddRecord(const TableDefinition& table, std::vector<Value> values) {
  RefuseIfChangeUndone();
  TableWriter& writer = Writer(table);
  TableWriter::PreparedRow row = writer.Prepare(std::move(values));
  WriteOrRollBack([&] { writer.Store(std::move(row)); });
  // The second is counted from the first record not yet saved, not from the last save: a
  // run that starts long after the list was opened would otherwise save its first record at
  // once, before the checks the next ones meet, and damage found then could not leave the
  // file as it was.
  if (uncommitted_records_++ == 0) last_commit_ = std::chrono::steady_clock::now();
  if (std::chrono::steady_clock::now() - last_commit_ < std::chrono::seconds(1)) return;
  if (pager_->in_long_change()) {
    WriteOrRollBack([&] { pager_->Spill(); });
    last_commit_ = std::chrono::steady_clock::now();
  } else {
    Commit();
  }
}

StatementResult JetDatabase::Execute(std::u16string_view statement) {
  DeleteAllStatement del;
  try {
    del = ParseDeleteAll(statement);
  } catch (const Error& error) {
    throw error.Within(pager_->file_name());
  }
  if (!pager_->writable()) throw Error(pager_->file_name(), "the database is open read-only", ErrorKind::ReadOnly);
  RefuseIfChangeUndone();
  TableWriter& writer = Writer(*Table(del.table));
  DeletionOutcome outcome;
  const auto delete_all = [&] { outcome = Relationships().DeleteAll(writer); };
  if (pager_->in_long_change()) {
    // Part of a larger change: it reaches the file with that change's commit.
    WriteOrRollBack(delete_all);
  } else {
    Commit();
    WriteOrRollBack(delete_all);
    Commit();
  }
  StatementResult result;
  result.deleted = outcome.deleted;
  result.kept = outcome.kept;
  result.kept_for = std::move(outcome.kept_for);
  for (auto& [table, rows] : outcome.cascaded) result.cascaded.push_back({std::move(table), rows});
  return result;
}

void JetDatabase::BeginTransaction() {
  if (!pager_->writable()) throw Error(pager_->file_name(), "the database is open read-only", ErrorKind::ReadOnly);
  RefuseIfChangeUndone();
  Commit();
  pager_->BeginLongChange();
}

void JetDatabase::Commit() {
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

}  // namespace engine::jet
