// Structural check of one real index: walks the index pages from the root and reports every
// broken rule of the tree shape, one readable line each. Reads pages only.
//
// Rules checked: pages are index pages (type 0x03/0x04, byte 1 = 0x01) of the right table;
// the bitmap, the free-space field and the entries agree; all leaves sit at the same depth;
// entries increase strictly along the whole leaf chain; every node entry equals the last
// entry of its child's subtree; a tail child is never a node's only child and leaves have no
// tail; the leaf chain's prev/next links agree both ways and visit exactly the leaves found
// from the root; node links point at the neighbour under the same parent; no page is reached
// twice; optionally every page is in the index's usage map.
// Rules: FORMAT.md, "Index trees".
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/jet/storage/page_store.h"

namespace engine::jet {

struct IndexCheckResult {
  std::vector<std::string> problems;
  std::vector<PageNumber> pages;  // every page of the tree, root first
  size_t entries = 0;           // leaf entries
  size_t leaf_pages = 0;
  size_t node_pages = 0;
  size_t levels = 0;            // 1 for a lone root leaf

  bool ok() const { return problems.empty(); }
};

// `in_usage_map`, when given, says whether a page is listed in the index's usage map.
IndexCheckResult CheckIndexTree(PageStore& store, PageNumber root_page, PageNumber tdef_page,
                                const std::function<bool(PageNumber)>& in_usage_map = {});

}  // namespace engine::jet
