// Reads no bytes itself: it frames the cells the parser kept (sorted by row and column)
// into a header row and records, and finds a record's cells by binary search.
#include "engine/excel/worksheet_table.h"

#include <algorithm>

#include "engine/text/case_fold.h"
#include "engine/base/error.h"
#include "engine/excel/table_names.h"

namespace engine::excel {
namespace {

// Index of the first cell at or after (row, column).
size_t LowerBound(const std::vector<Cell>& cells, uint32_t row, uint32_t column) {
  auto it = std::lower_bound(cells.begin(), cells.end(), std::make_pair(row, column),
                             [](const Cell& cell, const std::pair<uint32_t, uint32_t>& key) {
                               return cell.row != key.first ? cell.row < key.first : cell.column < key.second;
                             });
  return static_cast<size_t>(it - cells.begin());
}

}  // namespace

WorksheetTable WorksheetTable::ForSheet(std::shared_ptr<const Workbook> book, size_t sheet,
                                        const TextLocale& locale) {
  WorksheetTable table(std::move(book), sheet);
  const std::vector<Cell>& cells = table.cells();
  if (cells.empty()) {
    table.field_names_ = MakeFieldNames({u""});  // an empty sheet: one field, no records
    return table;
  }
  uint16_t first_column = UINT16_MAX, last_column = 0;
  for (const Cell& cell : cells) {
    first_column = std::min(first_column, cell.column);
    last_column = std::max(last_column, cell.column);
  }
  table.Frame(cells.front().row, first_column, last_column, cells.back().row, locale);
  return table;
}

WorksheetTable WorksheetTable::ForRange(std::shared_ptr<const Workbook> book, size_t sheet, const CellRange& range,
                                        const TextLocale& locale) {
  WorksheetTable table(std::move(book), sheet);
  const std::vector<Cell>& cells = table.cells();
  // Rows of the range below its last value would only be empty records.
  uint16_t last_row = range.first_row;
  size_t end = LowerBound(cells, uint32_t{range.last_row} + 1, 0);
  for (size_t i = LowerBound(cells, range.first_row, 0); i < end; ++i) {
    if (cells[i].column >= range.first_column && cells[i].column <= range.last_column) last_row = cells[i].row;
  }
  table.Frame(range.first_row, range.first_column, range.last_column, last_row, locale);
  return table;
}

void WorksheetTable::Frame(uint16_t header_row, uint16_t first_column, uint16_t last_column, uint16_t last_row,
                           const TextLocale& locale) {
  header_row_ = header_row;
  first_column_ = first_column;
  std::vector<std::u16string> headers(size_t{last_column} - first_column + 1);
  size_t header_end = LowerBound(cells(), header_row, uint32_t{last_column} + 1);
  for (size_t i = LowerBound(cells(), header_row, first_column); i < header_end; ++i) {
    headers[cells()[i].column - first_column] = book_->CellValue(cells()[i]).ToText(locale);
  }
  field_names_ = MakeFieldNames(headers);
  // One pass down the sorted cells: each row's first cell at or after the last row's.
  size_t at = LowerBound(cells(), uint32_t{header_row} + 1, 0);
  for (uint32_t row = uint32_t{header_row} + 1; row <= uint32_t{last_row} + 1; ++row) {
    while (at < cells().size() && cells()[at].row < row) ++at;
    record_starts_.push_back(static_cast<uint32_t>(at));
  }
  if (record_starts_.size() == 1) record_starts_.clear();
}

const Cell* WorksheetTable::CellAt(size_t record, size_t field) const {
  uint32_t column = first_column_ + static_cast<uint32_t>(field);
  auto begin = cells().begin() + record_starts_[record];
  auto end = cells().begin() + record_starts_[record + 1];
  // A row with no gaps holds the column where its distance from the row's first cell says.
  if (begin != end && column >= begin->column && column - begin->column < static_cast<uint32_t>(end - begin)) {
    auto guess = begin + (column - begin->column);
    if (guess->column == column) return &*guess;
  }
  auto it = std::lower_bound(begin, end, column, [](const Cell& cell, uint32_t c) { return cell.column < c; });
  if (it == end || it->column != column) return nullptr;
  return &*it;
}

Value WorksheetTable::GetValue(size_t record, size_t field) const {
  const Cell* cell = CellAt(record, field);
  return cell ? book_->CellValue(*cell) : Value::Null();
}

void WorksheetTable::ReadValue(size_t record, size_t field, Value& value) const {
  const Cell* cell = CellAt(record, field);
  if (cell && cell->kind == CellKind::Text) {
    value.TextToFill() = book_->texts[cell->text];
  } else {
    value = cell ? book_->CellValue(*cell) : Value::Null();
  }
}

namespace {

class WorksheetRecordset : public Recordset {
 public:
  WorksheetRecordset(std::shared_ptr<const WorksheetTable> table, std::string file_name)
      : table_(std::move(table)), file_name_(std::move(file_name)) {
    for (const std::u16string& name : table_->field_names()) folded_names_.push_back(FoldCase(name));
  }

  long RecordCount() const override { return static_cast<long>(table_->record_count()); }
  long FirstRecordRow() const override { return table_->first_record_row(); }
  bool Eof() const override { return position_ >= table_->record_count(); }
  void MoveFirst() override {
    RequireRecords();
    position_ = 0;
  }
  void MoveLast() override {
    RequireRecords();
    position_ = table_->record_count() - 1;
  }
  void MoveNext() override {
    if (Eof()) throw Error(file_name_, "there is no current record", ErrorKind::NoCurrentRecord);
    ++position_;
  }

  int FieldCount() const override { return static_cast<int>(table_->field_names().size()); }
  std::u16string FieldName(int position) const override {
    CheckField(position);
    return table_->field_names()[position];
  }
  int FieldPosition(std::u16string_view name) const override {
    std::u16string folded = FoldCase(name);
    for (size_t i = 0; i < folded_names_.size(); ++i) {
      if (folded_names_[i] == folded) return static_cast<int>(i);
    }
    throw Error(file_name_, "the sheet has no column named \"" + ToUtf8(name) + "\"", ErrorKind::NoSuchColumn);
  }
  Value GetValue(int position) const override {
    CheckField(position);
    if (Eof()) throw Error(file_name_, "there is no current record", ErrorKind::NoCurrentRecord);
    return table_->GetValue(position_, static_cast<size_t>(position));
  }
  void ReadRecord(std::vector<Value>& values) const override {
    if (Eof()) throw Error(file_name_, "there is no current record", ErrorKind::NoCurrentRecord);
    values.resize(table_->field_names().size());
    for (size_t i = 0; i < values.size(); ++i) table_->ReadValue(position_, i, values[i]);
  }

 private:
  void RequireRecords() const {
    if (table_->record_count() == 0) throw Error(file_name_, "there is no current record", ErrorKind::NoCurrentRecord);
  }
  void CheckField(int position) const {
    if (position < 0 || position >= FieldCount()) {
      throw Error(file_name_, "column number " + std::to_string(position) + " does not exist", ErrorKind::NoSuchColumn);
    }
  }

  std::shared_ptr<const WorksheetTable> table_;
  std::string file_name_;
  std::vector<std::u16string> folded_names_;
  size_t position_ = 0;
};

}  // namespace

std::unique_ptr<Recordset> MakeWorksheetRecordset(std::shared_ptr<const WorksheetTable> table,
                                                  std::string file_name) {
  return std::make_unique<WorksheetRecordset>(std::move(table), std::move(file_name));
}

}  // namespace engine::excel
