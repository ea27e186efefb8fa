// One real index of a table (either version) as a B-tree of index pages (see index_page.h for the bytes).
//
// Shape kept on every page this class writes, as Access and Jackcess lay it out:
// - the root page number never changes: a small index is a single leaf; when the root splits,
//   its contents move to a new child and the root becomes a node above it;
// - a node entry is a copy of the last entry (key and row) of its child's subtree;
// - a node with two or more children names the last one only in its child-tail field;
//   a node with one child names it by an ordinary entry and has no tail;
// - leaves form one doubly linked list in index order; nodes are linked only to siblings
//   under the same parent.
// Decoded pages are cached: the pages a change has not written yet, and others up to
// kDecodedPagesKept between operations; so use one IndexTree per index per transaction and
// make a new one after a rollback. Changes are written through
// PageStore::WritePage only: before Insert or Clear returns, or, inside a batch, once per
// changed page by Flush (Access itself works this way, and re-encoding a leaf per insert
// would cost more than the insert).
// Layout: FORMAT.md, "Index trees".
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/jet/index/index_page.h"
#include "engine/jet/storage/page_store.h"
#include "engine/jet/format/table_definition.h"

namespace engine::jet {

// Longest key accepted: two entries of this size still fit on one page, so a split always
// leaves both halves within a page (1800 bytes in Jet 4, 892 in Jet 3).
inline constexpr size_t MaxIndexKeySize(const JetFormat& format) {
  return format.index_entry_capacity() / 2 - kIndexRowPointerSize - kIndexChildPointerSize;
}

// Every page of the tree rooted at `root_page`, root first, found by following the child
// pointers; nothing when the pointers do not make a tree of index pages of the table (a page
// outside the file, one reached twice, one that is not an index page of `tdef_page`).
std::optional<std::vector<PageNumber>> ListTreePages(PageStore& store, PageNumber root_page, PageNumber tdef_page);

class IndexTree {
 public:
  // `allocate_page` returns a fresh, zeroed, writable page that the caller has already
  // recorded in the index's usage map; `release_page` takes back a page the tree no longer
  // uses. `file_name` only labels error messages.
  IndexTree(PageStore& store, PageNumber root_page, PageNumber tdef_page, std::function<PageNumber()> allocate_page,
            std::function<void(PageNumber)> release_page, std::string file_name = {});

  PageNumber root_page() const { return root_; }

  // The entries on either side of where a key would go: the last one below it and the first
  // one above it (none at the ends).
  struct Neighbours {
    std::optional<IndexEntry> below, above;
  };

  // Rows of every entry whose key bytes equal `key`, in index order. When there is none and
  // `around` is given, the entries beside the place are put there (from the same descent).
  std::vector<RowId> FindEqual(std::string_view key, Neighbours* around = nullptr);
  bool Contains(std::string_view key);
  // The entries on either side of where the entry (key, row) goes or stands.
  Neighbours NeighboursOf(std::string_view key, RowId row);

  // Every entry in index order, following the leaf chain.
  void ForEach(const std::function<void(std::string_view key, RowId row)>& visit);

  // Adds one entry. Returns true when no other entry had the same key bytes (the table's
  // unique-entry count then goes up by one). Throws engine::Error if the same key and row are
  // already there, or the key is longer than MaxIndexKeySize.
  bool Insert(std::string_view key, RowId row);

  // Empties the index: the root becomes an empty leaf and every other page goes back
  // through `release_page`. Written at once, batch or not.
  void Clear();

  // From here until Flush, Insert keeps changed pages in memory; lookups see them.
  // If an Insert throws inside a batch, the tree refuses further work: roll back the
  // transaction and start again with a new IndexTree.
  void BeginBatch();
  // Writes every page changed since BeginBatch and ends the batch.
  void Flush();
  bool has_unwritten_changes() const { return !dirty_.empty(); }

 private:
  struct PathStep {
    PageNumber page;
    size_t slot;  // child taken: entry index, or entries.size() for the tail
  };
  struct LastEntry {
    IndexKey key;
    RowId row;
  };

  // Where `key` belongs: a leaf, descending from the root, and the first entry on it not below.
  struct Place {
    PageNumber leaf;
    size_t position = 0;
  };
  Place PlaceOf(std::string_view key);
  // Where the entry (key, row) belongs; `path`, when given, gets the nodes passed.
  Place PlaceOfEntry(std::string_view key, RowId row, std::vector<PathStep>* path);
  Neighbours NeighboursAt(Place place);
  // Calls `take` for each row with these key bytes, in order, until it returns false.
  void ScanEqual(std::string_view key, Place start, const std::function<bool(RowId)>& take);
  IndexPage& Load(PageNumber page);
  IndexPage Decode(PageNumber page) const;
  void TrimCache();
  // About 2-4 MB of decoded pages: the upper levels of a large tree and the recent leaves.
  static constexpr size_t kDecodedPagesKept = 512;
  void WriteBack(PageNumber page);
  PageNumber ChildAt(const IndexPage& node, size_t slot, PageNumber page) const;
  LastEntry SubtreeLast(PageNumber page);
  void PropagateLastEntry(const std::vector<PathStep>& path, const IndexEntry& last);
  void NormalizeTail(PageNumber page);
  bool Overflows(const IndexPage& page) const;
  PageNumber NestRoot();
  PageNumber SplitPage(PageNumber page, PageNumber parent);
  void CutNodeLinks(PageNumber left, PageNumber right);
  void InsertChildEntry(PageNumber parent, PageNumber child, LastEntry bound);
  void MarkModified(PageNumber page);
  [[noreturn]] void Damaged(PageNumber page, const std::string& what) const;
  bool InsertUnchecked(std::string_view key, RowId row);

  PageStore& store_;
  PageNumber root_;
  PageNumber tdef_page_;
  std::function<PageNumber()> allocate_page_;
  std::function<void(PageNumber)> release_page_;
  std::string file_name_;
  std::unordered_map<PageNumber, IndexPage> cache_;
  // In front of cache_, most recently loaded by page number modulo its size: every descent
  // passes through the same few upper pages. Emptied whenever cache_ loses an entry (the
  // addresses of the others stay put).
  struct Recent {
    PageNumber page;
    IndexPage* decoded = nullptr;
  };
  std::array<Recent, 64> recent_{};
  std::vector<PageNumber> modified_;      // pages changed by the current Insert
  // The current Insert's way down and the pages it looks at for overflow: kept here so that
  // an insert allocates nothing for them.
  std::vector<PathStep> path_;
  std::vector<PageNumber> level_;
  std::unordered_set<PageNumber> dirty_;  // pages changed and not yet written
  bool batch_ = false;
  bool broken_ = false;
};

}  // namespace engine::jet
