// Reading a table definition (TDEF): a chain of type-0x02 pages (next page at offset 4),
// concatenated as the first page whole plus each further page from byte 8. The buffer holds
// the table block (counts, usage map pointers), then the column descriptors, the column
// names, the real and logical index descriptors, the logical index names and, in Jet 4, the
// long-value column maps. Field offsets per version are in format.h.
// Layout: FORMAT.md, "Table definitions (TDEF)".
#pragma once

#include <cstdint>
#include <vector>

#include "engine/jet/storage/page_store.h"
#include "engine/jet/format/table_definition.h"
#include "engine/jet/row/text_codec.h"

namespace engine::jet {

// The concatenated TDEF bytes starting at `first_page`, and the chain of its pages.
std::vector<uint8_t> LoadTableDefinitionBytes(PageStore& pager, PageNumber first_page, std::vector<PageNumber>* chain);

// Decodes the TDEF at `first_page`. `name` is the table's name from the catalogue.
TableDefinition ReadTableDefinition(PageStore& pager, const TextDecoder& text, PageNumber first_page,
                                    std::u16string name);

}  // namespace engine::jet
