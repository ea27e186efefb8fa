// Memo and OLE values. In the row they are a 12-byte header: u32 length in bits 0..29 with
// bit 31 "inline" (the data follows the header) and bit 30 "one LVAL row"; then a pointer
// (row byte, 3-byte page) to the first LVAL row; then 4 unknown bytes. Without either flag the
// data is a chain of LVAL rows, each [u8 next row][u24 next page][chunk], the last pointing
// nowhere.
// Layout: FORMAT.md, "Long values".
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/jet/storage/page_store.h"

namespace engine::jet {

inline constexpr size_t kLongValueHeaderSize = 12;

// The value's bytes. Throws when the header, a pointer or the chain is damaged.
void ReadLongValue(PageStore& pager, const uint8_t* field, size_t field_size, std::vector<uint8_t>& out);

}  // namespace engine::jet
