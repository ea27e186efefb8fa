// Writing a table definition (TDEF), Jet 3 or Jet 4: the inverse of table_definition_reader.
// The offsets are the JetFormat's, the chain of pages that of tdef_layout.h.
// Layout: FORMAT.md, "Table definitions (TDEF)".
#pragma once

#include <cstdint>
#include <vector>

#include "engine/jet/format/format.h"
#include "engine/jet/format/table_definition.h"

namespace engine::jet {

// What a Jet 3 definition also holds of its database: the code page its names are stored in
// and every text column's sort order (both from the header page). Jet 4 keeps names in UCS-2
// and each column's own sort order.
struct TdefDatabaseSettings {
  uint16_t code_page = 1252;
  uint16_t sort_order = 0x0409;
};

// The whole definition in the layout of `format`; bytes 0..7 (the first page's header) are
// left zero. Throws engine::Error when a name has a character a Jet 3 code page cannot hold.
std::vector<uint8_t> EncodeTableDefinition(const TableDefinition& table, const JetFormat& format = kJet4Format,
                                           const TdefDatabaseSettings& settings = {});

// Number of pages the encoded definition needs.
size_t TableDefinitionPageCount(size_t encoded_size, const JetFormat& format = kJet4Format);

// Writes page `index` (0 = first) of the definition into `page` (a whole page, overwritten);
// `next_page` is the following page of the chain, none for the last.
void WriteTableDefinitionPage(const std::vector<uint8_t>& encoded, size_t index, PageNumber next_page, uint8_t* page,
                              const JetFormat& format = kJet4Format);

}  // namespace engine::jet
