// The catalogue: the rows of MSysObjects that are tables (ids and flags in catalog_ids.h).
// Layout: FORMAT.md, "The system catalogue".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/jet/catalog/catalog_ids.h"
#include "engine/jet/storage/page_store.h"
#include "engine/jet/format/table_definition.h"
#include "engine/jet/row/text_codec.h"

namespace engine::jet {

struct CatalogEntry {
  std::u16string name;
  PageNumber tdef_page;
  bool is_system = false;
  RowId row;  // its MSysObjects row
};

// The tables in MSysObjects row order.
std::vector<CatalogEntry> ReadCatalog(PageStore& pager, const TextDecoder& text);

// The table's property block: the LvProp field of its MSysObjects row (empty when Null).
std::vector<uint8_t> ReadPropertyBytes(PageStore& pager, const TextDecoder& text, const CatalogEntry& table);

}  // namespace engine::jet
