// The index trees a writer keeps between rows: made on first use, with the pages a DELETE *
// gave back handed out again before the file grows; their batched changes written by Flush
// and dropped, with everything else cached from the pages, after a rollback.
#include <algorithm>
#include <cstring>

#include "engine/bytes.h"
#include "engine/error.h"
#include "engine/jet/format/format.h"
#include "engine/jet/index/index_check.h"
#include "engine/jet/table/table_writer.h"

namespace engine::jet {

// Pages an index gives back (DELETE *) stay in its usage map, marked used, and are handed
// out again before the file grows: otherwise every purge-and-import cycle would add a whole
// new set of index pages to the file. They are found again on every start as the pages of
// the index's map that its tree does not reach.
std::vector<PageNumber> TableWriter::SparePagesOf(const RealIndex& index) {
  if (index.usage_map.page.is_none()) return {};
  // The walk reads every page of the tree, so it checks the whole tree too: a change must not
  // start on a tree that does not hold together.
  IndexCheckResult tree = CheckIndexTree(store_, index.root_page, table_.tdef_page);
  if (!tree.ok()) Fail("an index is damaged (" + tree.problems.front() + ")", ErrorKind::Damaged);
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
        GetPageNumber(bytes + kIndexOwnerOffset) == table_.tdef_page) {
      spare.push_back(page);
    }
  }
  std::reverse(spare.begin(), spare.end());  // handed out from the back: lowest first
  return spare;
}

IndexTree& TableWriter::Tree(size_t i) {
  if (!trees_[i]) {
    const RealIndex& index = table_.real_indexes[i];
    auto spare = std::make_shared<std::vector<PageNumber>>(
        reuse_ == IndexPageReuse::SparePages ? SparePagesOf(index) : std::vector<PageNumber>{});
    auto allocate = [this, spare, map = index.usage_map] {
      if (!spare->empty()) {
        const PageNumber page = spare->back();
        spare->pop_back();
        std::memset(store_.WritePage(page).data(), 0, store_.page_size());
        allocator_.MarkUsed(page);
        return page;
      }
      const PageNumber page = allocator_.Allocate();
      if (!map.page.is_none()) UsageMapEditor(store_, map, [this] { return allocator_.Allocate(); }).Add(page);
      return page;
    };
    auto release = [this, spare, map = index.usage_map](PageNumber page) {
      if (!map.page.is_none()) {
        spare->push_back(page);
      } else {
        allocator_.Release(page);
      }
    };
    trees_[i] = std::make_unique<IndexTree>(store_, index.root_page, table_.tdef_page, allocate, release, file_name_);
    trees_[i]->BeginBatch();
  }
  return *trees_[i];
}

void TableWriter::Flush() {
  for (auto& tree : trees_) {
    if (!tree || !tree->has_unwritten_changes()) continue;
    tree->Flush();
    tree->BeginBatch();
  }
}

void TableWriter::ForgetCachedPages() {
  for (auto& tree : trees_) tree.reset();
  for (auto& rows : matching_rows_) rows.clear();
  placer_.ForgetHint();
}

}  // namespace engine::jet
