#include "engine/jet/index/index_check.h"

#include <optional>
#include <unordered_set>

#include "engine/base/error.h"
#include "engine/jet/index/index_page.h"

namespace engine::jet {
namespace {

constexpr size_t kMaxDepth = 32;

std::string Describe(RowId row) { return "row " + to_string(row.page) + ":" + std::to_string(row.row); }

class TreeChecker {
 public:
  TreeChecker(PageStore& store, PageNumber root, PageNumber tdef, const std::function<bool(PageNumber)>& in_usage_map)
      : store_(store), root_(root), tdef_(tdef), in_usage_map_(in_usage_map) {}

  IndexCheckResult Run() {
    Visit(root_, kNoPage, 0);
    CheckLeafChain();
    CheckNodeLinks();
    result_.levels = levels_.size();
    return std::move(result_);
  }

 private:
  struct Bound {
    IndexKey key;
    RowId row;
  };
  struct Placed {
    PageNumber page, parent, prev, next;
  };

  void Report(PageNumber page, const std::string& what) {
    result_.problems.push_back("index with root page " + to_string(root_) + ", page " + to_string(page) + ": " + what);
  }

  std::optional<Bound> Visit(PageNumber page, PageNumber parent, size_t depth) {
    if (depth >= kMaxDepth) {
      Report(page, "the tree is deeper than " + std::to_string(kMaxDepth) + " levels");
      return std::nullopt;
    }
    if (page.is_none() || !store_.has_page(page)) {
      Report(parent, "points at page " + to_string(page) + ", outside the file");
      return std::nullopt;
    }
    if (!seen_.insert(page).second) {
      Report(page, "reached twice from the root");
      return std::nullopt;
    }
    if (in_usage_map_ && !in_usage_map_(page)) Report(page, "not in the index's usage map");
    IndexPage p;
    try {
      p = DecodeIndexPage(store_.ReadPage(page).data(), page, store_.format());
    } catch (const Error& error) {
      Report(page, error.reason());
      return std::nullopt;
    }
    result_.pages.push_back(page);
    if (p.owner != tdef_) {
      Report(page, "belongs to table page " + to_string(p.owner) + ", not " + to_string(tdef_));
    }
    if (levels_.size() <= depth) levels_.resize(depth + 1);
    levels_[depth].push_back({page, parent, p.prev, p.next});
    // (Entries out of order on a page are refused by DecodeIndexPage.)
    return p.leaf ? VisitLeaf(page, p, depth) : VisitNode(page, p, depth);
  }

  std::optional<Bound> VisitLeaf(PageNumber page, const IndexPage& p, size_t depth) {
    ++result_.leaf_pages;
    result_.entries += p.entries.size();
    if (leaf_depth_ && *leaf_depth_ != depth) Report(page, "leaf at a different depth from the others");
    if (!leaf_depth_) leaf_depth_ = depth;
    if (!p.tail.is_none()) Report(page, "leaf with a child-tail pointer");
    leaves_.push_back({page, kNoPage, p.prev, p.next});
    if (p.entries.empty()) {
      if (page != root_) Report(page, "empty leaf inside the tree");
      return std::nullopt;
    }
    const IndexEntry& first = p.entries.front();
    if (last_leaf_entry_ &&
        CompareEntries(last_leaf_entry_->key, last_leaf_entry_->row, first.key, first.row) >= 0) {
      Report(page, "first entry (" + Describe(first.row) + ") is not above the last entry of the leaf before");
    }
    last_leaf_entry_ = Bound{p.entries.back().key, p.entries.back().row};
    return last_leaf_entry_;
  }

  std::optional<Bound> VisitNode(PageNumber page, const IndexPage& p, size_t depth) {
    ++result_.node_pages;
    if (p.entries.empty()) {
      Report(page, !p.tail.is_none() ? "node whose only child is its tail" : "node without children");
      if (p.tail.is_none()) return std::nullopt;
    }
    for (size_t i = 0; i < p.entries.size(); ++i) {
      const IndexEntry& entry = p.entries[i];
      std::optional<Bound> last = Visit(entry.child, page, depth + 1);
      if (last && (last->key != entry.key || last->row != entry.row)) {
        Report(page,
               "entry " + std::to_string(i) + " differs from the last entry of child page " + to_string(entry.child));
      }
    }
    if (!p.tail.is_none()) return Visit(p.tail, page, depth + 1);
    if (p.entries.empty()) return std::nullopt;
    return Bound{p.entries.back().key, p.entries.back().row};
  }

  void CheckLeafChain() {
    for (size_t i = 0; i < leaves_.size(); ++i) {
      PageNumber want_prev = i > 0 ? leaves_[i - 1].page : kNoPage;
      PageNumber want_next = i + 1 < leaves_.size() ? leaves_[i + 1].page : kNoPage;
      if (leaves_[i].prev != want_prev) {
        Report(leaves_[i].page,
               "previous-leaf link is " + to_string(leaves_[i].prev) + ", expected " + to_string(want_prev));
      }
      if (leaves_[i].next != want_next) {
        Report(leaves_[i].page,
               "next-leaf link is " + to_string(leaves_[i].next) + ", expected " + to_string(want_next));
      }
    }
  }

  // Node pages may be linked across parents or not, but a link must point at the neighbour on
  // the same level and be returned, and siblings under one parent must be linked.
  void CheckNodeLinks() {
    for (size_t depth = 0; depth < levels_.size(); ++depth) {
      if (leaf_depth_ && depth == *leaf_depth_) continue;
      const std::vector<Placed>& level = levels_[depth];
      for (size_t i = 0; i < level.size(); ++i) {
        const Placed& here = level[i];
        const Placed* right = i + 1 < level.size() ? &level[i + 1] : nullptr;
        const Placed* left = i > 0 ? &level[i - 1] : nullptr;
        if (!here.next.is_none() && (!right || here.next != right->page)) {
          Report(here.page,
                 "next link points at page " + to_string(here.next) + ", which is not the following page on its level");
        }
        if (!here.prev.is_none() && (!left || here.prev != left->page)) {
          Report(here.page, "previous link points at page " + to_string(here.prev) +
                                ", which is not the preceding page on its level");
        }
        if (right && (here.next == right->page) != (right->prev == here.page)) {
          Report(here.page, "link with page " + to_string(right->page) + " goes one way only");
        }
        if (right && right->parent == here.parent && here.next != right->page) {
          Report(here.page, "not linked to its next sibling " + to_string(right->page));
        }
      }
    }
  }

  PageStore& store_;
  PageNumber root_, tdef_;
  const std::function<bool(PageNumber)>& in_usage_map_;
  IndexCheckResult result_;
  std::unordered_set<PageNumber> seen_;
  std::vector<std::vector<Placed>> levels_;
  std::vector<Placed> leaves_;
  std::optional<size_t> leaf_depth_;
  std::optional<Bound> last_leaf_entry_;
};

}  // namespace

IndexCheckResult CheckIndexTree(PageStore& store, PageNumber root_page, PageNumber tdef_page,
                                const std::function<bool(PageNumber)>& in_usage_map) {
  return TreeChecker(store, root_page, tdef_page, in_usage_map).Run();
}

}  // namespace engine::jet
