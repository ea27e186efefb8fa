// Where the bytes of a table definition lie across its chain of TDEF pages (FORMAT.md, "Table
// definitions (TDEF)"): the first page holds the definition's bytes 0 .. page_size - 1 (its
// own page header counted as the definition's first bytes); every further page holds the next
// page_size - tdef_page_header_size bytes after its own header.
#pragma once

#include <cstddef>

#include "engine/jet/format/format.h"

namespace engine::jet {

struct TdefPlace {
  size_t page_index = 0;  // in the chain, 0 = first page
  size_t in_page = 0;     // offset inside that page
};

inline TdefPlace PlaceInTdefChain(const JetFormat& f, size_t offset) {
  if (offset < f.page_size) return {0, offset};
  const size_t per_page = f.page_size - f.tdef_page_header_size;
  return {1 + (offset - f.page_size) / per_page, f.tdef_page_header_size + (offset - f.page_size) % per_page};
}

// The definition's offset of the first byte page `page_index` holds after its header.
inline size_t FirstOffsetOnTdefPage(const JetFormat& f, size_t page_index) {
  if (page_index == 0) return f.tdef_page_header_size;
  return f.page_size + (page_index - 1) * (f.page_size - f.tdef_page_header_size);
}

// Pages a definition of that many bytes takes.
inline size_t TdefPageCount(const JetFormat& f, size_t definition_size) {
  if (definition_size <= f.page_size) return 1;
  return 1 + PlaceInTdefChain(f, definition_size - 1).page_index;
}

// Offset of the unique-entry count of real index `i` in the definition.
inline size_t UniqueCountOffset(const JetFormat& f, size_t i) {
  return f.tdef_first_block + i * f.real_index_count_entry + f.real_index_unique_count;
}

}  // namespace engine::jet
