#include "tests/support/memory_database.h"

#include <cmath>
#include <optional>

#include "engine/text/case_fold.h"
#include "engine/text/code_page.h"
#include "engine/base/error.h"
#include "engine/sql/sql.h"
#include "engine/value/value.h"

namespace testsupport {
namespace {

bool SameName(std::u16string_view a, std::u16string_view b) { return engine::EqualsIgnoringAsciiCase(a, b); }

// A record set over some rows of one table, positioned; AddNew/Update append to the table.
class MemoryRecordset : public engine::Recordset {
 public:
  MemoryRecordset(MemoryDatabase& database, MemoryTable& table, std::vector<size_t> rows)
      : database_(database), table_(table), rows_(std::move(rows)) {}

  long RecordCount() const override {
    database_.MaybeFail("RecordCount");
    // As Jet's dynasets: 0 when empty; the full count only once the last record was reached.
    if (rows_.empty()) return 0;
    return reached_last_ ? static_cast<long>(rows_.size()) : static_cast<long>(position_ + 1);
  }
  bool Eof() const override { return position_ >= rows_.size(); }
  void MoveFirst() override {
    database_.MaybeFail("MoveFirst");
    position_ = 0;
  }
  void MoveLast() override {
    database_.MaybeFail("MoveLast");
    if (rows_.empty()) throw engine::Error(database_.path().string(), "no current record");
    position_ = rows_.size() - 1;
    reached_last_ = true;
  }
  void MoveNext() override {
    database_.MaybeFail("MoveNext");
    if (Eof()) throw engine::Error(database_.path().string(), "no current record");
    ++position_;
    if (position_ + 1 >= rows_.size()) reached_last_ = true;
  }
  int FieldCount() const override { return static_cast<int>(table_.columns.size()); }
  std::u16string FieldName(int position) const override { return Column(position).name; }
  int FieldPosition(std::u16string_view name) const override {
    const int position = table_.ColumnPosition(name);
    if (position < 0) {
      throw engine::Error(database_.path().string(), "no column " + engine::ToUtf8(name) + " in the table");
    }
    return position;
  }
  engine::Value GetValue(int position) const override {
    database_.MaybeFail("GetValue", Column(position).name);
    if (adding_) return (*adding_)[position];
    if (Eof()) throw engine::Error(database_.path().string(), "no current record");
    return table_.rows[rows_[position_]][position];
  }
  void AddNew() override {
    database_.MaybeFail("AddNew");
    adding_.emplace(table_.columns.size());
  }
  void SetValue(int position, const engine::Value& value) override {
    const MemoryColumn& column = Column(position);
    database_.MaybeFail("SetValue", column.name);
    if (!adding_) throw engine::Error(database_.path().string(), "no record is being added");
    (*adding_)[position] = database_.Convert(column, value);
  }
  void Update() override {
    database_.MaybeFail("Update");
    if (!adding_) throw engine::Error(database_.path().string(), "no record is being added");
    for (size_t i = 0; i < table_.columns.size(); ++i) {
      if (table_.columns[i].autonumber) (*adding_)[i] = engine::Value::Integer(table_.next_number++);
    }
    table_.rows.push_back(std::move(*adding_));
    adding_.reset();
    database_.NoteStored(table_);
  }

 private:
  const MemoryColumn& Column(int position) const {
    if (position < 0 || static_cast<size_t>(position) >= table_.columns.size()) {
      throw engine::Error(database_.path().string(), "no column at position " + std::to_string(position));
    }
    return table_.columns[position];
  }

  MemoryDatabase& database_;
  MemoryTable& table_;
  std::vector<size_t> rows_;
  size_t position_ = 0;
  bool reached_last_ = false;
  std::optional<std::vector<engine::Value>> adding_;
};

}  // namespace

int MemoryTable::ColumnPosition(std::u16string_view column) const {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (SameName(columns[i].name, column)) return static_cast<int>(i);
  }
  return -1;
}

std::vector<engine::Value> MemoryTable::Column(std::u16string_view column) const {
  const int position = ColumnPosition(column);
  std::vector<engine::Value> values;
  for (const auto& row : rows) values.push_back(position < 0 ? engine::Value() : row[position]);
  return values;
}

MemoryDatabase::MemoryDatabase(engine::TextLocale locale, std::filesystem::path path)
    : locale_(std::move(locale)), path_(std::move(path)) {}

MemoryTable& MemoryDatabase::AddTable(std::u16string name, std::vector<MemoryColumn> columns) {
  MemoryTable& added = tables_[name];
  added.name = std::move(name);
  added.columns = std::move(columns);
  return added;
}

MemoryTable& MemoryDatabase::table(std::u16string_view name) {
  for (auto& [key, value] : tables_) {
    if (SameName(key, name)) return value;
  }
  throw engine::Error(path_.string(), "no table " + engine::ToUtf8(name));
}

void MemoryDatabase::AddRow(std::u16string_view table_name, std::vector<engine::Value> row) {
  MemoryTable& target = table(table_name);
  row.resize(target.columns.size());
  target.rows.push_back(std::move(row));
}

void MemoryDatabase::FailOn(std::string operation, std::u16string detail, int skip, int times, std::string reason,
                            engine::ErrorKind kind) {
  faults_.push_back({std::move(operation), std::move(detail), skip, times, std::move(reason), kind});
}

void MemoryDatabase::MaybeFail(std::string_view operation, std::u16string_view detail) {
  for (Fault& fault : faults_) {
    if (fault.operation != operation || fault.times <= 0) continue;
    if (!fault.detail.empty()) {
      const bool matches = operation == "OpenRecordset" ? detail.find(fault.detail) != std::u16string_view::npos
                                                        : SameName(fault.detail, detail);
      if (!matches) continue;
    }
    if (fault.skip > 0) {
      --fault.skip;
      continue;
    }
    --fault.times;
    throw engine::Error(path_.string(), fault.reason, fault.kind);
  }
}

std::vector<engine::TableInfo> MemoryDatabase::TableDefs() const {
  std::vector<engine::TableInfo> infos;
  for (const auto& [name, table] : tables_) infos.push_back({name, name.starts_with(u"MSys")});
  return infos;
}

std::unique_ptr<engine::Recordset> MemoryDatabase::OpenRecordset(std::u16string_view source) {
  MaybeFail("OpenRecordset", source);
  opened_sources_.emplace_back(source);
  const engine::SelectStatement select = engine::ParseRecordSource(source);
  MemoryTable& target = table(select.table);
  std::vector<size_t> rows;
  int where = -1;
  if (select.where_column) {
    where = target.ColumnPosition(*select.where_column);
    if (where < 0) throw engine::Error(path_.string(), "no column " + engine::ToUtf8(*select.where_column));
  }
  for (size_t i = 0; i < target.rows.size(); ++i) {
    const engine::Value& value = where < 0 ? engine::Value() : target.rows[i][where];
    if (where < 0 || (!value.is_null() && value.ToText(locale_) == select.where_literal)) rows.push_back(i);
  }
  return std::make_unique<MemoryRecordset>(*this, target, std::move(rows));
}

engine::StatementResult MemoryDatabase::Execute(std::u16string_view statement) {
  MaybeFail("Execute");
  stored_.committed += static_cast<long>(uncommitted_.size());  // Jet commits around a statement
  uncommitted_.clear();
  auto& rows = table(engine::ParseDeleteAll(statement).table).rows;
  engine::StatementResult result;
  result.deleted = static_cast<long>(rows.size());
  rows.clear();
  return result;
}

void MemoryDatabase::Commit() {
  try {
    MaybeFail("Commit");
  } catch (const engine::Error&) {
    for (auto table = uncommitted_.rbegin(); table != uncommitted_.rend(); ++table) (*table)->rows.pop_back();
    stored_.taken_back += static_cast<long>(uncommitted_.size());
    uncommitted_.clear();
    throw;
  }
  ++commits_;
  stored_.committed += static_cast<long>(uncommitted_.size());
  uncommitted_.clear();
}

engine::Value MemoryDatabase::Convert(const MemoryColumn& column, const engine::Value& value) const {
  using Type = engine::Value::Type;
  if (value.is_null()) return value;
  const std::u16string text = value.ToText(locale_);
  // As the engine refuses a value: naming the column and the value.
  auto refuse = [&](const std::string& why, engine::Refusal refusal = engine::Refusal::NotANumber) {
    engine::Error error(path_.string(), "column " + engine::ToUtf8(column.name) + ": " + why,
                        engine::ErrorKind::InvalidValue);
    return error.Concerning(engine::ToUtf8(column.name), engine::ToUtf8(text), refusal);
  };
  switch (column.type) {
    case Type::Text:
      if (column.max_length > 0 && text.size() > column.max_length) {
        throw refuse("the text is too long", engine::Refusal::TooLong);
      }
      if (text.empty() && !column.allow_empty_text) {
        throw refuse("an empty text is not allowed", engine::Refusal::WrongType);
      }
      if (column.code_page != 0) {
        const char16_t* upper_half = engine::UpperHalfOf(column.code_page);
        return engine::Value::Text(engine::ReplacedInSingleByte(upper_half, text).value_or(text));
      }
      return engine::Value::Text(text);
    case Type::Integer: {
      if (value.type() == Type::Integer) return value;
      const auto number = engine::ParseNumber(text, locale_);
      if (!number || std::trunc(*number) != *number) throw refuse("not a whole number");
      return engine::Value::Integer(static_cast<int64_t>(*number));
    }
    case Type::Currency: {
      const auto amount = engine::ParseCurrency(text, locale_);
      if (!amount) throw refuse("not an amount");
      return engine::Value::Money(*amount);
    }
    case Type::Double: {
      const auto number = engine::ParseNumber(text, locale_);
      if (!number) throw refuse("not a number");
      return engine::Value::Double(*number);
    }
    case Type::Date: {
      if (value.type() == Type::Date) return value;
      const auto date = engine::ParseDate(text, locale_);
      if (!date) throw refuse("not a date", engine::Refusal::NotADate);
      return engine::Value::DateTime(*date);
    }
    case Type::Flag: {
      const auto flag = engine::ParseFlag(text, locale_);
      if (!flag) throw refuse("not yes or no", engine::Refusal::NotAYesNo);
      return engine::Value::Flag(*flag);
    }
    default:
      return value;
  }
}

}  // namespace testsupport
