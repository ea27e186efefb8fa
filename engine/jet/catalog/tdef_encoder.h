// Writing a Jet 4 table definition (TDEF): the inverse of table_definition_reader.
// The definition is one buffer: the table block (length @8, 1625 @12, rows @16, autonumber
// @20, 0x01 @24, type @40, max columns @41, variable columns @43, columns @45, logical
// indexes @47, real indexes @51, owned map @55, free map @59), 12 bytes per real index
// (u32 0, u32 unique-entry count, u32 0), 25-byte column descriptors, column names (u16
// byte length + UCS-2), 52-byte real and 28-byte logical index descriptors, logical index
// names, then the long-value columns' maps ({u16 column, u32 owned, u32 free}..., 0xFFFF).
// It is cut into type-0x02 pages: the first page holds buffer bytes 0..4095, each further
// page 4088 more after its own 8-byte header (02 01, u16 unused bytes - 8, u32 next page).
#pragma once

#include <cstdint>
#include <vector>

#include "engine/jet/format/table_definition.h"

namespace engine::jet {

inline constexpr size_t kTdefPageHeaderSize = 8;

// The whole definition; bytes 0..7 (the first page's header) are left zero.
std::vector<uint8_t> EncodeTableDefinition(const TableDefinition& table);

// Number of pages the encoded definition needs.
size_t TableDefinitionPageCount(size_t encoded_size, size_t page_size);

// Writes page `index` (0 = first) of the definition into `page` (page_size bytes, overwritten);
// `next_page` is the following page of the chain, 0 for the last.
void WriteTableDefinitionPage(const std::vector<uint8_t>& encoded, size_t index, uint32_t next_page,
                              uint8_t* page, size_t page_size);

}  // namespace engine::jet
