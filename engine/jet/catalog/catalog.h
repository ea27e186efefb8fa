// The catalogue: the rows of MSysObjects (TDEF at page 2) that are tables. A table row has
// Type 1, ParentId the Id of the "Tables" container and Id its TDEF page (low 24 bits);
// Flags 0x80000000 or 0x00000002 mark the engine's own tables.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/jet/storage/page_store.h"
#include "engine/jet/format/table_definition.h"
#include "engine/jet/row/text_codec.h"

namespace engine::jet {

inline constexpr uint32_t kCatalogTdefPage = 2;

struct CatalogEntry {
  std::u16string name;
  uint32_t tdef_page = 0;
  bool is_system = false;
  RowId row;  // its MSysObjects row
};

// The tables in MSysObjects row order.
std::vector<CatalogEntry> ReadCatalog(PageStore& pager, const TextDecoder& text);

// The table's property block: the LvProp field of its MSysObjects row (empty when Null).
std::vector<uint8_t> ReadPropertyBytes(PageStore& pager, const TextDecoder& text, const CatalogEntry& table);

}  // namespace engine::jet
