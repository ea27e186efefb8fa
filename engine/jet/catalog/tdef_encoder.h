// Writing a Jet 4 table definition (TDEF): the inverse of table_definition_reader. The offsets
// are kJet4Format's, the chain of pages that of tdef_layout.h.
// Layout: FORMAT.md, "Table definitions (TDEF)".
#pragma once

#include <cstdint>
#include <vector>

#include "engine/jet/format/table_definition.h"

namespace engine::jet {

// The whole definition; bytes 0..7 (the first page's header) are left zero.
std::vector<uint8_t> EncodeTableDefinition(const TableDefinition& table);

// Number of pages the encoded definition needs.
size_t TableDefinitionPageCount(size_t encoded_size);

// Writes page `index` (0 = first) of the definition into `page` (a whole page, overwritten);
// `next_page` is the following page of the chain, none for the last.
void WriteTableDefinitionPage(const std::vector<uint8_t>& encoded, size_t index, PageNumber next_page, uint8_t* page);

}  // namespace engine::jet
