#include "engine/database/database.h"

#include "engine/base/error.h"

namespace engine {

void Recordset::AddNew() { throw Error("", "the record set is read-only", ErrorKind::ReadOnly); }
void Recordset::SetValue(int, const Value&) { throw Error("", "the record set is read-only", ErrorKind::ReadOnly); }
void Recordset::Update() { throw Error("", "the record set is read-only", ErrorKind::ReadOnly); }
void Recordset::ReadRecord(std::vector<Value>& values) const {
  const int count = FieldCount();
  values.resize(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) values[i] = GetValue(i);
}

void Recordset::SetTextForm(int position, const Value& value, const TextLocale& locale) {
  SetValue(position, Value::Text(value.ToText(locale)));
}

namespace {

// Opens the whole source for every literal.
class ReopeningLookup : public PreparedLookup {
 public:
  ReopeningLookup(Database& database, std::u16string_view before, std::u16string_view after)
      : database_(database), before_(before), after_(after) {}

  long RecordCount(std::u16string_view literal) override {
    source_.assign(before_).append(literal).append(after_);
    return database_.OpenRecordset(source_)->RecordCount();
  }

 private:
  Database& database_;
  std::u16string before_, after_;
  std::u16string source_;  // kept to reuse its room
};

}  // namespace

std::unique_ptr<PreparedLookup> Database::PrepareLookup(std::u16string_view before, std::u16string_view after) {
  return std::make_unique<ReopeningLookup>(*this, before, after);
}

StatementResult Database::Execute(std::u16string_view) {
  throw Error(path().string(), "the archive is read-only", ErrorKind::ReadOnly);
}
void Database::BeginTransaction() { throw Error(path().string(), "the archive is read-only", ErrorKind::ReadOnly); }

}  // namespace engine
