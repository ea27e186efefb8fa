#include "archives/data_binding.h"

#include <cstring>

#include "engine/base/error.h"
#include "engine/open/open_database.h"

namespace archives {
namespace {

// Compared for every record a run looks up or adds: bytes at once, not character by character.
bool SameText(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0);
}

}  // namespace

DataBinding::DataBinding(engine::OpenMode mode, engine::TextLocale locale)
    : mode_(mode), locale_(std::move(locale)) {}

void DataBinding::Refresh() {
  recordset_.reset();
  BindDatabase();
  if (!RecordSource.empty()) recordset_ = database_->OpenRecordset(RecordSource);
}

void DataBinding::BindDatabase() {
  if (database_ && SameText(open_name_, DatabaseName) && SameText(open_connect_, Connect)) return;
  recordset_.reset();
  ForgetLookup();
  if (database_) database_->Commit();
  database_.reset();
  database_ = engine::OpenDatabase(std::filesystem::path(engine::ToUtf8(DatabaseName)), Connect, mode_, locale_);
  open_name_ = DatabaseName;
  open_connect_ = Connect;
}

long DataBinding::CountRecords(std::u16string_view before, std::u16string_view literal, std::u16string_view after) {
  BindDatabase();
  if (!lookup_ || !SameText(lookup_before_, before) || !SameText(lookup_after_, after)) {
    ForgetLookup();
    lookup_ = database_->PrepareLookup(before, after);
    lookup_before_ = before;
    lookup_after_ = after;
  }
  return lookup_->RecordCount(literal);
}

void DataBinding::ForgetLookup() {
  lookup_.reset();
  lookup_before_.clear();
  lookup_after_.clear();
}

engine::Recordset& DataBinding::Recordset() {
  if (!recordset_) throw engine::Error(engine::ToUtf8(DatabaseName), "no record set is open");
  return *recordset_;
}

engine::Database& DataBinding::Database() {
  if (!database_) throw engine::Error(engine::ToUtf8(DatabaseName), "no database is open");
  return *database_;
}

void DataBinding::Attach(std::unique_ptr<engine::Database> database) {
  recordset_.reset();
  ForgetLookup();
  database_ = std::move(database);
  open_name_ = DatabaseName;
  open_connect_ = Connect;
}

void DataBinding::Close() {
  recordset_.reset();
  ForgetLookup();
  // Closed whether or not its last commit succeeds; a failure is the caller's to tell.
  const std::unique_ptr<engine::Database> database = std::move(database_);
  if (database) database->Close();
}

}  // namespace archives
