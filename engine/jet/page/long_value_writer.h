// Writing memo and OLE values (the bytes: long_value.h). A single LVAL row holds just the
// data; a chain row is a pointer to the next row (0 at the end) and then a chunk that fills
// the longest LVAL row (4072 bytes in Jet 4, 2028 in Jet 3).
// Layout: FORMAT.md, "Long values".
#pragma once

#include <string>
#include <string_view>

#include "engine/jet/page/data_page_writer.h"
#include "engine/jet/page/long_value.h"

namespace engine::jet {

inline constexpr size_t kMaxInlineLongValue = 64;
// A single LVAL row is just the data; a chain row gives the pointer's bytes to the chunk.
constexpr size_t MaxSingleRowLongValue(const JetFormat& format) { return format.max_long_value_row_size; }
constexpr size_t LongValueChunk(const JetFormat& format) {
  return format.max_long_value_row_size - kLongValuePointerSize;
}

class LongValueWriter {
 public:
  // The column's own LVAL usage maps are used when the table has them.
  LongValueWriter(PageStore& store, PageAllocator& allocator, const ColumnDefinition& column);

  // The field bytes for the row: a header with the data inline when `may_inline` and the
  // data is short, else a header pointing at LVAL rows written now.
  std::string Write(std::string_view data, bool may_inline);
  // The page last written may have been rolled back.
  void ForgetHint() { placer_.ForgetHint(); }

 private:
  const JetFormat& format_;
  RowPlacer placer_;
};

// Marks the LVAL rows a long-value field points at deleted (the field as stored in a row).
// Each page is checked before its row is marked (CheckedDataPage); a pointer to a page or row
// that is not there, or a chain row too short for its pointer, throws "damaged".
void FreeLongValue(PageStore& store, std::string_view field);

}  // namespace engine::jet
