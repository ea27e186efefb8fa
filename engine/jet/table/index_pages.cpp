#include "engine/jet/table/index_pages.h"

#include <algorithm>
#include <cstring>

#include "engine/base/bytes.h"
#include "engine/base/error.h"
#include "engine/jet/format/format.h"
#include "engine/jet/index/index_check.h"
#include "engine/jet/index/index_page.h"
#include "engine/jet/table/table_error.h"

namespace engine::jet {

IndexPages::IndexPages(PageStore& store, const TableDefinition& table, const RealIndex& index, IndexPageReuse reuse,
                       const std::string& file_name)
    : store_(store), allocator_(store), map_(index.usage_map) {
  if (reuse == IndexPageReuse::SparePages) spare_ = FindSpare(table, index, file_name);
}

std::vector<PageNumber> IndexPages::FindSpare(const TableDefinition& table, const RealIndex& index,
                                              const std::string& file_name) {
  if (index.usage_map.page.is_none()) return {};
  // The walk reads every page of the tree, so it checks the whole tree too.
  IndexCheckResult tree = CheckIndexTree(store_, index.root_page, table.tdef_page);
  if (!tree.ok()) {
    FailOnTable(file_name, table, "an index is damaged (" + tree.problems.front() + ")", ErrorKind::Damaged);
  }
  std::vector<PageNumber> in_tree = std::move(tree.pages);
  std::sort(in_tree.begin(), in_tree.end());
  std::vector<PageNumber> spare;
  for (PageNumber page : UsageMapEditor(store_, index.usage_map).Pages()) {
    if (!store_.has_page(page) || page.value() <= 2 || std::binary_search(in_tree.begin(), in_tree.end(), page)) {
      continue;
    }
    // Only what still looks like an old index page of this table, in case a map lists a
    // page that went elsewhere.
    const PageRef held = store_.ReadPage(page);
    const uint8_t* bytes = held.data();
    // (A tree that lets a page go zeroes its first bytes, as Jackcess does.)
    if ((bytes[0] == kIndexNodePageType || bytes[0] == kIndexLeafPageType || bytes[0] == kPageHeaderOrFreed) &&
        GetPageNumber(bytes + kIndexOwnerOffset) == table.tdef_page) {
      spare.push_back(page);
    }
  }
  std::reverse(spare.begin(), spare.end());  // handed out from the back: lowest first
  return spare;
}

PageNumber IndexPages::Allocate() {
  if (!spare_.empty()) {
    const PageNumber page = spare_.back();
    spare_.pop_back();
    std::memset(store_.WritePage(page).data(), 0, store_.page_size());
    allocator_.MarkUsed(page);
    return page;
  }
  const PageNumber page = allocator_.Allocate();
  if (!map_.page.is_none()) UsageMapEditor(store_, map_, [this] { return allocator_.Allocate(); }).Add(page);
  return page;
}

void IndexPages::Release(PageNumber page) {
  if (!map_.page.is_none()) {
    spare_.push_back(page);
  } else {
    allocator_.Release(page);
  }
}

}  // namespace engine::jet
