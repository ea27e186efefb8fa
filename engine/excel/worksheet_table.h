// A rectangle of a worksheet read as a table: the first row gives the field names, the
// rows below are the records. For a worksheet the rectangle is the cells that hold
// something; for a defined name it is the named range, down to its last row with a value.
// Layout: FORMAT.md, layer "tables".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/database/database.h"
#include "engine/excel/workbook.h"

namespace engine::excel {

class WorksheetTable {
 public:
  // The whole used part of a worksheet.
  static WorksheetTable ForSheet(std::shared_ptr<const Workbook> book, size_t sheet, const TextLocale& locale);
  // A defined name's range.
  static WorksheetTable ForRange(std::shared_ptr<const Workbook> book, size_t sheet, const CellRange& range,
                                 const TextLocale& locale);

  const std::vector<std::u16string>& field_names() const { return field_names_; }
  size_t record_count() const { return record_starts_.empty() ? 0 : record_starts_.size() - 1; }
  Value GetValue(size_t record, size_t field) const;
  // The same value into `value`, whose storage a text reuses.
  void ReadValue(size_t record, size_t field, Value& value) const;
  // The sheet's row number (from 1) of the first record: the one below the header row.
  long first_record_row() const { return long{header_row_} + 2; }

 private:
  WorksheetTable(std::shared_ptr<const Workbook> book, size_t sheet) : book_(std::move(book)), sheet_(sheet) {}
  void Frame(uint16_t header_row, uint16_t first_column, uint16_t last_column, uint16_t last_row,
             const TextLocale& locale);
  const std::vector<Cell>& cells() const { return book_->sheets[sheet_].cells; }
  // The record's cell in that field; null when there is none.
  const Cell* CellAt(size_t record, size_t field) const;

  std::shared_ptr<const Workbook> book_;
  size_t sheet_;
  uint16_t header_row_ = 0;  // from 0, as the file counts rows
  uint16_t first_column_ = 0;
  std::vector<std::u16string> field_names_;
  // Record i's cells are cells()[record_starts_[i] .. record_starts_[i + 1]).
  std::vector<uint32_t> record_starts_;
};

// A read-only record set over a worksheet table.
std::unique_ptr<Recordset> MakeWorksheetRecordset(std::shared_ptr<const WorksheetTable> table,
                                                  std::string file_name);

}  // namespace engine::excel
