// What the reader keeps of a workbook: the worksheets' cells (sparse, 16 bytes each, so
// memory follows the cells present and not the sheet's declared size), the merged ranges,
// the workbook-level names that refer to a range, and one pool of texts.
// Layout: FORMAT.md, layer "workbook".
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/value/value.h"

namespace engine::excel {

enum class CellKind : uint8_t { Number, Date, Text, Flag, Error };

struct Cell {
  uint16_t row = 0;
  uint16_t column = 0;
  CellKind kind = CellKind::Number;
  union {
    double number;       // Number, Date (the serial)
    uint32_t text;       // Text: index into Workbook::texts
    bool flag;           // Flag
  };
  Cell() : number(0) {}
};

struct CellRange {
  uint16_t first_row = 0, last_row = 0;
  uint16_t first_column = 0, last_column = 0;
};

struct Worksheet {
  std::u16string name;
  // Sorted by row, then column; one cell per position; covered parts of merged ranges
  // removed (they read as blank, as Excel shows them).
  std::vector<Cell> cells;
};

struct DefinedName {
  std::u16string name;
  size_t sheet = 0;  // index into Workbook::sheets
  CellRange range;
};

// All texts of a workbook back to back, so that 100,000 short texts cost their characters
// and one offset each rather than a string object each.
class TextPool {
 public:
  uint32_t Add(std::u16string_view text) {
    starts_.push_back(chars_.size());
    chars_ += text;
    return static_cast<uint32_t>(starts_.size() - 1);
  }
  // Adds the text that `append` writes at the end of the given string, without a copy.
  template <typename Append>
  uint32_t AddAppended(Append append) {
    starts_.push_back(chars_.size());
    append(chars_);
    return static_cast<uint32_t>(starts_.size() - 1);
  }
  std::u16string_view operator[](uint32_t index) const {
    size_t end = index + 1 < starts_.size() ? starts_[index + 1] : chars_.size();
    return std::u16string_view(chars_).substr(starts_[index], end - starts_[index]);
  }
  size_t size() const { return starts_.size(); }
  void Reserve(size_t texts, size_t chars) {
    starts_.reserve(starts_.size() + texts);
    chars_.reserve(chars_.size() + chars);
  }

 private:
  std::u16string chars_;
  std::vector<size_t> starts_;
};

struct Workbook {
  std::vector<Worksheet> sheets;  // worksheets only, in the workbook's order
  std::vector<DefinedName> names;
  TextPool texts;
  bool date1904 = false;

  Value CellValue(const Cell& cell) const;
};

// Parses a BIFF5 or BIFF8 workbook stream. Throws engine::Error (without a file name) for
// encrypted workbooks, other BIFF versions and damaged streams.
Workbook ParseWorkbook(std::span<const uint8_t> stream);

}  // namespace engine::excel
