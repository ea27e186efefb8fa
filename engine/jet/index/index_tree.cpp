#include "engine/jet/index/index_tree.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <unordered_set>

#include "engine/base/error.h"

namespace engine::jet {
namespace {

// Real trees are 2–4 levels deep; anything deeper means a loop in damaged pages.
constexpr int kMaxDepth = 32;

// First entry not below (key, row) in index order.
size_t LowerBound(const std::vector<IndexEntry>& entries, std::string_view key, RowId row) {
  auto it = std::lower_bound(entries.begin(), entries.end(), 0, [&](const IndexEntry& e, int) {
    return CompareEntries(e.key, e.row, key, row) < 0;
  });
  return static_cast<size_t>(it - entries.begin());
}

// First entry whose key bytes are not below `key` (the row counts as minus infinity).
size_t LowerBoundKey(const std::vector<IndexEntry>& entries, std::string_view key) {
  auto it = std::lower_bound(entries.begin(), entries.end(), 0,
                             [&](const IndexEntry& e, int) { return CompareKeys(e.key, key) < 0; });
  return static_cast<size_t>(it - entries.begin());
}

}  // namespace

std::optional<std::vector<PageNumber>> ListTreePages(PageStore& store, PageNumber root_page, PageNumber tdef_page) {
  std::vector<PageNumber> pages;
  std::unordered_set<PageNumber> seen;
  std::vector<PageNumber> pending{root_page};
  while (!pending.empty()) {
    const PageNumber page = pending.back();
    pending.pop_back();
    if (page.is_none() || !store.has_page(page) || !seen.insert(page).second) return std::nullopt;
    IndexPage decoded;
    try {
      decoded = DecodeIndexPage(store.ReadPage(page).data(), page, store.format());
    } catch (const Error&) {
      return std::nullopt;
    }
    if (decoded.owner != tdef_page) return std::nullopt;
    pages.push_back(page);
    if (decoded.leaf) continue;
    if (!decoded.tail.is_none()) pending.push_back(decoded.tail);
    for (auto entry = decoded.entries.rbegin(); entry != decoded.entries.rend(); ++entry) pending.push_back(entry->child);
  }
  return pages;
}

IndexTree::IndexTree(PageStore& store, PageNumber root_page, PageNumber tdef_page,
                     std::function<PageNumber()> allocate_page, std::function<void(PageNumber)> release_page,
                     std::string file_name)
    : store_(store),
      root_(root_page),
      tdef_page_(tdef_page),
      allocate_page_(std::move(allocate_page)),
      release_page_(std::move(release_page)),
      file_name_(std::move(file_name)) {}

void IndexTree::Damaged(PageNumber page, const std::string& what) const {
  throw Error(file_name_,
              "an index of the table is damaged (index page " + to_string(page) + ": " + what +
                  "); repair the database with Access",
              ErrorKind::Damaged);
}

IndexPage& IndexTree::Load(PageNumber page) {
  Recent& recent = recent_[page.value() % recent_.size()];
  if (recent.decoded && recent.page == page) return *recent.decoded;
  auto found = cache_.find(page);
  IndexPage& decoded = found != cache_.end() ? found->second : cache_.emplace(page, Decode(page)).first->second;
  recent = {page, &decoded};
  return decoded;
}

IndexPage IndexTree::Decode(PageNumber page) const {
  if (page.is_none() || !store_.has_page(page)) Damaged(page, "page outside the file");
  try {
    IndexPage decoded = DecodeIndexPage(store_.ReadPage(page).data(), page, store_.format());
    if (decoded.owner != tdef_page_) Damaged(page, "the page belongs to another table");
    return decoded;
  } catch (const Error& error) {
    if (!error.file().empty()) throw;
    throw error.Within(file_name_);
  }
}

// Between operations: no reference into the cache is held, and every changed page is in
// dirty_, so any other page may go.
void IndexTree::TrimCache() {
  if (cache_.size() <= kDecodedPagesKept + dirty_.size()) return;
  std::erase_if(cache_, [this](const auto& cached) { return !dirty_.contains(cached.first); });
  recent_.fill({});
}

void IndexTree::MarkModified(PageNumber page) {
  if (std::find(modified_.begin(), modified_.end(), page) == modified_.end()) modified_.push_back(page);
}

void IndexTree::WriteBack(PageNumber page) {
  IndexPage& decoded = Load(page);
  // The running size decides where pages split; one that drifted from the entries would
  // let a page be written too full, or split too soon. Counted once per written page.
  if (decoded.key_bytes != SumOfKeySizes(decoded.entries)) {
    throw std::logic_error("index page " + to_string(page) + ": running key size differs from the entries");
  }
  decoded.prefix_length = CommonKeyPrefix(decoded.entries, MaxIndexPrefixLength(store_.format()));
  EncodeIndexPage(decoded, store_.WritePage(page).data(), store_.format());
}

PageNumber IndexTree::ChildAt(const IndexPage& node, size_t slot, PageNumber page) const {
  if (slot < node.entries.size()) return node.entries[slot].child;
  if (!node.tail.is_none()) return node.tail;
  Damaged(page, "node page without children");
}

IndexTree::LastEntry IndexTree::SubtreeLast(PageNumber page) {
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    const IndexPage& p = Load(page);
    if (!p.leaf && !p.tail.is_none()) {
      page = p.tail;
      continue;
    }
    if (p.entries.empty()) Damaged(page, "empty page inside the tree");
    return {p.entries.back().key, p.entries.back().row};
  }
  Damaged(page, "the tree is too deep");
}

IndexTree::Place IndexTree::PlaceOf(std::string_view key) {
  PageNumber page = root_;
  for (int depth = 0;; ++depth) {
    if (depth >= kMaxDepth) Damaged(page, "the tree is too deep");
    const IndexPage& p = Load(page);
    if (p.leaf) return {page, LowerBoundKey(p.entries, key)};
    size_t slot = LowerBoundKey(p.entries, key);
    if (slot == p.entries.size() && p.tail.is_none() && slot > 0) --slot;
    page = ChildAt(p, slot, page);
  }
}

IndexTree::Neighbours IndexTree::NeighboursAt(Place place) {
  Neighbours out;
  const PageNumber page = place.leaf;
  const IndexPage& leaf = Load(page);
  const size_t position = place.position;
  if (position > 0) {
    out.below = leaf.entries[position - 1];
  } else if (!leaf.prev.is_none()) {
    const PageNumber prev = leaf.prev;
    const IndexPage& p = Load(prev);
    if (!p.entries.empty()) out.below = p.entries.back();
  }
  const IndexPage& again = Load(page);  // the cache may have grown meanwhile
  if (position < again.entries.size()) {
    out.above = again.entries[position];
  } else if (!again.next.is_none()) {
    const PageNumber next = again.next;
    const IndexPage& p = Load(next);
    if (!p.entries.empty()) out.above = p.entries.front();
  }
  return out;
}

void IndexTree::ScanEqual(std::string_view key, Place start, const std::function<bool(RowId)>& take) {
  PageNumber page = start.leaf;
  // Equal keys may run on into the following leaves.
  size_t position = start.position;
  for (uint32_t hops = 0; !page.is_none(); ++hops) {
    if (hops > store_.page_count()) Damaged(page, "the leaf chain loops");
    const IndexPage& p = Load(page);
    for (; position < p.entries.size(); ++position) {
      if (CompareKeys(p.entries[position].key, key) != 0 || !take(p.entries[position].row)) return;
    }
    page = p.next;
    position = 0;
  }
}

std::vector<RowId> IndexTree::FindEqual(std::string_view key, Neighbours* around) {
  TrimCache();
  std::vector<RowId> rows;
  const Place place = PlaceOf(key);
  ScanEqual(key, place, [&](RowId row) {
    rows.push_back(row);
    return true;
  });
  if (rows.empty() && around) *around = NeighboursAt(place);
  return rows;
}

bool IndexTree::Contains(std::string_view key) {
  TrimCache();
  bool found = false;
  ScanEqual(key, PlaceOf(key), [&](RowId) {
    found = true;
    return false;
  });
  return found;
}

void IndexTree::ForEach(const std::function<void(std::string_view key, RowId row)>& visit) {
  PageNumber page = root_;
  for (int depth = 0;; ++depth) {
    if (depth >= kMaxDepth) Damaged(page, "the tree is too deep");
    const IndexPage& p = Load(page);
    if (p.leaf) break;
    page = ChildAt(p, 0, page);
  }
  // Leaves not in the cache are decoded one at a time and not kept, so a walk over a large
  // index holds one page.
  IndexPage uncached;
  for (uint32_t hops = 0; !page.is_none(); ++hops) {
    if (hops > store_.page_count()) Damaged(page, "the leaf chain loops");
    auto found = cache_.find(page);
    if (found == cache_.end()) uncached = Decode(page);
    const IndexPage& p = found == cache_.end() ? uncached : found->second;
    for (const IndexEntry& entry : p.entries) visit(entry.key, entry.row);
    page = p.next;
  }
}

bool IndexTree::Insert(std::string_view key, RowId row) {
  if (broken_) throw Error(file_name_, "the index was left half changed by an earlier error", ErrorKind::Damaged);
  if (key.size() > MaxIndexKeySize(store_.format())) {
    throw Error(file_name_, "a value is too long to be entered in an index", ErrorKind::InvalidValue);
  }
  if (row.page.value() > 0xFFFFFF) {
    throw Error(file_name_, "row outside the range an index can point at", ErrorKind::TooLarge);
  }
  TrimCache();
  modified_.clear();
  bool new_key = false;
  try {
    new_key = InsertUnchecked(key, row);
  } catch (...) {
    // Refusals (a repeated entry, a damaged page met on the way down) come before any change.
    // Otherwise cached pages may be half changed: drop them. Outside a batch nothing of this
    // tree is pending, so the store is still right; inside one, pending pages are lost.
    if (!modified_.empty()) {
      cache_.clear();
      recent_.fill({});
      if (!dirty_.empty()) broken_ = true;
      dirty_.clear();
    }
    modified_.clear();
    throw;
  }
  dirty_.insert(modified_.begin(), modified_.end());
  modified_.clear();
  if (!batch_) Flush();
  return new_key;
}

void IndexTree::BeginBatch() { batch_ = true; }

void IndexTree::Flush() {
  if (broken_) throw Error(file_name_, "the index was left half changed by an earlier error", ErrorKind::Damaged);
  // Sorted, so pages are written in a repeatable order.
  std::vector<PageNumber> pages(dirty_.begin(), dirty_.end());
  std::sort(pages.begin(), pages.end());
  try {
    for (PageNumber page : pages) WriteBack(page);
  } catch (...) {
    broken_ = true;  // some pages written, others not
    throw;
  }
  dirty_.clear();
  batch_ = false;
}

IndexTree::Place IndexTree::PlaceOfEntry(std::string_view key, RowId row, std::vector<PathStep>* path) {
  // Descend: at each node take the first entry not below the new one, else the tail, else
  // (a node Access wrote without a tail) the last entry, whose bound then moves up.
  if (path) path->clear();
  PageNumber page = root_;
  for (int depth = 0;; ++depth) {
    if (depth >= kMaxDepth) Damaged(page, "the tree is too deep");
    const IndexPage& p = Load(page);
    if (p.leaf) return {page, LowerBound(p.entries, key, row)};
    size_t slot = LowerBound(p.entries, key, row);
    if (slot == p.entries.size() && p.tail.is_none()) {
      if (slot == 0) Damaged(page, "node page without children");
      --slot;
    }
    if (path) path->push_back({page, slot});
    page = ChildAt(p, slot, page);
  }
}

IndexTree::Neighbours IndexTree::NeighboursOf(std::string_view key, RowId row) {
  TrimCache();
  return NeighboursAt(PlaceOfEntry(key, row, nullptr));
}

bool IndexTree::InsertUnchecked(std::string_view key, RowId row) {
  std::vector<PathStep>& path = path_;
  const Place place = PlaceOfEntry(key, row, &path);
  const PageNumber page = place.leaf;
  IndexPage* leaf = &Load(page);
  size_t position = place.position;
  if (position < leaf->entries.size() && leaf->entries[position].key == key &&
      leaf->entries[position].row == row) {
    throw Error(file_name_, "the row is already in the index", ErrorKind::Damaged);
  }

  // Neighbours, possibly on the adjacent leaves, tell whether the key bytes are new.
  auto same_key = [&](const IndexEntry& e) { return e.key == key; };
  bool new_key = true;
  if (position > 0) {
    new_key = !same_key(leaf->entries[position - 1]);
  } else if (!leaf->prev.is_none()) {
    PageNumber prev = leaf->prev;
    const IndexPage& p = Load(prev);
    if (!p.entries.empty() && same_key(p.entries.back())) new_key = false;
    leaf = &Load(page);
  }
  if (new_key) {
    if (position < leaf->entries.size()) {
      new_key = !same_key(leaf->entries[position]);
    } else if (!leaf->next.is_none()) {
      PageNumber next = leaf->next;
      const IndexPage& p = Load(next);
      if (!p.entries.empty() && same_key(p.entries.front())) new_key = false;
      leaf = &Load(page);
    }
  }

  leaf->entries.insert(leaf->entries.begin() + static_cast<std::ptrdiff_t>(position),
                       IndexEntry{IndexKey(key), row, kNoPage});
  leaf->key_bytes += key.size();
  MarkModified(page);
  if (position + 1 == leaf->entries.size()) PropagateLastEntry(path, leaf->entries.back());

  // Split upwards while a page overflows. A split can leave either half still too full when
  // entry sizes are very uneven, so each level keeps a list of pages to look at.
  // Every level is looked at up to the root, since a longer bound copied into a parent can
  // make it overflow without any split below.
  std::vector<PageNumber>& level = level_;
  level = {page};
  size_t parent_index = path.size();  // path[parent_index - 1] is the parent of `level`
  for (;;) {
    for (size_t i = 0; i < level.size(); ++i) {
      // Only a page changed by this insert can have grown.
      if (std::find(modified_.begin(), modified_.end(), level[i]) == modified_.end()) continue;
      if (!Overflows(Load(level[i]))) continue;
      if (level[i] == root_) {
        PageNumber child = NestRoot();
        path.insert(path.begin(), PathStep{root_, 0});
        ++parent_index;
        level = {child};
        i = static_cast<size_t>(-1);
        continue;
      }
      PageNumber parent = path[parent_index - 1].page;
      level.push_back(SplitPage(level[i], parent));
      --i;  // the same page may still be too full
    }
    if (parent_index == 0) break;
    level = {path[parent_index - 1].page};
    --parent_index;
  }
  // Nodes whose entries changed get the tail form too (Access may have written them without).
  for (size_t i = 0; i < modified_.size(); ++i) NormalizeTail(modified_[i]);
  return new_key;
}

void IndexTree::PropagateLastEntry(const std::vector<PathStep>& path, const IndexEntry& last) {
  // A copy: the entry may live in a page this loop changes.
  const IndexKey key = last.key;
  const RowId row = last.row;
  for (size_t i = path.size(); i-- > 0;) {
    IndexPage& parent = Load(path[i].page);
    size_t slot = path[i].slot;
    if (slot >= parent.entries.size()) continue;  // tail child: parent bytes stay, its bound moved
    parent.key_bytes = parent.key_bytes - parent.entries[slot].key.size() + key.size();
    parent.entries[slot].key = key;
    parent.entries[slot].row = row;
    MarkModified(path[i].page);
    if (slot + 1 != parent.entries.size() || !parent.tail.is_none()) return;
  }
}

bool IndexTree::Overflows(const IndexPage& page) const {
  // The prefix only saves bytes, so the uncompressed size settles most cases cheaply.
  const size_t capacity = store_.format().index_entry_capacity();
  if (EncodedEntriesSizeFromKeyBytes(page, 0) <= capacity) return false;
  return EncodedEntriesSizeFromKeyBytes(page, CommonKeyPrefix(page.entries, MaxIndexPrefixLength(store_.format()))) >
         capacity;
}

void IndexTree::NormalizeTail(PageNumber page) {
  IndexPage& node = Load(page);
  if (node.leaf) return;
  if (node.tail.is_none() && node.entries.size() >= 2) {
    node.tail = node.entries.back().child;
    node.key_bytes -= node.entries.back().key.size();
    node.entries.pop_back();
    MarkModified(page);
  } else if (!node.tail.is_none() && node.entries.empty()) {
    PageNumber tail = node.tail;
    LastEntry last = SubtreeLast(tail);
    IndexPage& again = Load(page);
    again.key_bytes += last.key.size();
    again.entries.push_back(IndexEntry{std::move(last.key), last.row, tail});
    again.tail = kNoPage;
    MarkModified(page);
  }
}

PageNumber IndexTree::NestRoot() {
  PageNumber child = allocate_page_();
  LastEntry last = SubtreeLast(root_);
  IndexPage& root = Load(root_);
  IndexPage moved = root;
  moved.owner = tdef_page_;
  moved.prev = kNoPage;
  moved.next = kNoPage;
  cache_[child] = std::move(moved);
  MarkModified(child);

  IndexPage& new_root = Load(root_);
  IndexPage fresh;
  fresh.leaf = false;
  fresh.owner = new_root.owner;
  fresh.unknown_u32 = new_root.unknown_u32;
  fresh.unknown_byte = new_root.unknown_byte;
  fresh.key_bytes = last.key.size();
  fresh.entries.push_back(IndexEntry{std::move(last.key), last.row, child});
  new_root = std::move(fresh);
  MarkModified(root_);
  return child;
}

void IndexTree::CutNodeLinks(PageNumber left, PageNumber right) {
  IndexPage& l = Load(left);
  if (l.leaf) return;  // leaves stay chained across parents
  if (l.next == right) {
    l.next = kNoPage;
    MarkModified(left);
  }
  IndexPage& r = Load(right);
  if (r.prev == left) {
    r.prev = kNoPage;
    MarkModified(right);
  }
}

PageNumber IndexTree::SplitPage(PageNumber page, PageNumber parent) {
  PageNumber fresh_page = allocate_page_();
  IndexPage& original = Load(page);
  if (original.entries.size() < 2) Damaged(page, "page too full to split");

  // The new page takes the first half and goes before the original, which keeps its last
  // entry, so nothing above the original changes.
  IndexPage fresh;
  fresh.leaf = original.leaf;
  fresh.owner = tdef_page_;
  size_t move = (original.entries.size() + 1) / 2;
  fresh.entries.assign(std::make_move_iterator(original.entries.begin()),
                       std::make_move_iterator(original.entries.begin() + static_cast<std::ptrdiff_t>(move)));
  original.entries.erase(original.entries.begin(), original.entries.begin() + static_cast<std::ptrdiff_t>(move));
  fresh.key_bytes = SumOfKeySizes(fresh.entries);
  original.key_bytes -= fresh.key_bytes;
  fresh.prev = original.prev;
  fresh.next = page;
  PageNumber old_prev = original.prev;
  original.prev = fresh_page;
  LastEntry bound{fresh.entries.back().key, fresh.entries.back().row};
  PageNumber first_child_left, last_child_moved;
  if (!fresh.leaf) {
    last_child_moved = fresh.entries.back().child;
    first_child_left = ChildAt(original, 0, page);
  }
  cache_[fresh_page] = std::move(fresh);
  MarkModified(fresh_page);
  MarkModified(page);
  if (!old_prev.is_none()) {
    Load(old_prev).next = fresh_page;
    MarkModified(old_prev);
  }
  if (!last_child_moved.is_none()) CutNodeLinks(last_child_moved, first_child_left);
  NormalizeTail(fresh_page);
  NormalizeTail(page);
  InsertChildEntry(parent, fresh_page, std::move(bound));
  return fresh_page;
}

void IndexTree::InsertChildEntry(PageNumber parent, PageNumber child, LastEntry bound) {
  IndexPage& node = Load(parent);
  size_t at = LowerBound(node.entries, bound.key, bound.row);
  node.key_bytes += bound.key.size();
  node.entries.insert(node.entries.begin() + static_cast<std::ptrdiff_t>(at),
                      IndexEntry{std::move(bound.key), bound.row, child});
  MarkModified(parent);
  NormalizeTail(parent);
}

void IndexTree::Clear() {
  if (broken_) throw Error(file_name_, "the index was left half changed by an earlier error", ErrorKind::Damaged);
  modified_.clear();
  dirty_.clear();  // every page but the root is about to go
  // Gather every page below the root first, so a damaged tree releases nothing.
  std::vector<PageNumber> below;
  std::unordered_set<PageNumber> seen = {root_};
  std::vector<std::pair<PageNumber, int>> stack = {{root_, 0}};
  while (!stack.empty()) {
    auto [page, depth] = stack.back();
    stack.pop_back();
    if (depth >= kMaxDepth) Damaged(page, "the tree is too deep");
    const IndexPage& p = Load(page);
    if (p.leaf) continue;
    std::vector<PageNumber> children;
    for (const IndexEntry& e : p.entries) children.push_back(e.child);
    if (!p.tail.is_none()) children.push_back(p.tail);
    for (PageNumber child : children) {
      if (!seen.insert(child).second) Damaged(child, "page reached twice");
      below.push_back(child);
      stack.push_back({child, depth + 1});
    }
  }
  IndexPage empty;
  empty.leaf = true;
  empty.owner = tdef_page_;
  cache_.clear();
  recent_.fill({});
  EncodeIndexPage(empty, store_.WritePage(root_).data(), store_.format());
  cache_.emplace(root_, std::move(empty));
  for (PageNumber page : below) {
    // Like Jackcess, blank the page type so a freed page no longer looks like an index page.
    std::memset(store_.WritePage(page).data(), 0, 4);
    release_page_(page);
  }
}

}  // namespace engine::jet
