// Memo and OLE values. In the row they are a 12-byte header: u32 length in bits 0..29 with
// bit 31 "inline" (the data follows the header) and bit 30 "one LVAL row"; then a pointer
// (row byte, 3-byte page) to the first LVAL row; then 4 unknown bytes. Without either flag the
// data is a chain of LVAL rows, each [u8 next row][u24 next page][chunk], the last pointing
// nowhere. LVAL rows sit on data pages whose owner is "LVAL" (data_page.h). Writing them is
// long_value_writer.h's; the header and the chain pointer are read and written here.
// Layout: FORMAT.md, "Long values".
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/jet/format/table_definition.h"
#include "engine/jet/page/data_page.h"
#include "engine/jet/storage/page_store.h"

namespace engine::jet {

inline constexpr size_t kLongValueHeaderSize = 12;
// A chain row starts with its pointer to the next row; page 0 ends the chain.
inline constexpr size_t kLongValuePointerSize = kStoredRowPointerSize;
inline constexpr uint32_t kLongValueInline = 0x80000000;
inline constexpr uint32_t kLongValueSingleRow = 0x40000000;
inline constexpr uint32_t kLongValueLengthMask = 0x3FFFFFFF;

// The header of a long value as stored in its row.
struct LongValueHeader {
  uint32_t length = 0;
  uint32_t flags = 0;  // kLongValueInline, kLongValueSingleRow or neither (a chain)
  RowId first;         // the first LVAL row (none for inline data)

  bool is_inline() const { return flags & kLongValueInline; }
  bool single_row() const { return flags & kLongValueSingleRow; }
  // Reads the first kLongValueHeaderSize bytes of `field`.
  static LongValueHeader Decode(const uint8_t* field);
  // Writes kLongValueHeaderSize bytes.
  void Encode(uint8_t* out) const;
};

// The value's bytes. Throws when the header, a pointer or the chain is damaged.
void ReadLongValue(PageStore& pager, const uint8_t* field, size_t field_size, std::vector<uint8_t>& out);

}  // namespace engine::jet
