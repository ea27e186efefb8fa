#include "engine/jet/index/index_tree.h"

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include <gtest/gtest.h>

#include "engine/base/error.h"
#include "engine/jet/index/index_check.h"
#include "tests/engine/jet/index/index_fixture_catalog.h"
#include "tests/support/test_page_store.h"
#include "tests/support/fixtures.h"

namespace engine::jet {
namespace {

using testsupport::TestPageStore;
using Model = std::set<std::pair<std::string, RowId>>;  // std::string orders bytes unsigned

constexpr PageNumber kTdefPage{2};

RowId RowAt(uint32_t page, uint8_t row) { return RowId{PageNumber(page), row}; }
IndexEntry EntryAt(const char* key, uint32_t page, uint8_t row, uint32_t child) {
  return IndexEntry{key, RowAt(page, row), PageNumber(child)};
}

// A tree over an in-memory store, with the page callbacks recorded.
class Harness {
 public:
  Harness(TestPageStore store, PageNumber root, PageNumber tdef, const std::set<uint32_t>& owned = {})
      : store_(std::move(store)), root_(root), tdef_(tdef) {
    for (uint32_t page : owned) owned_.insert(PageNumber(page));
    owned_.insert(root);
    tree_.emplace(MakeTree());
  }
  // The page callbacks point back at this object.
  Harness(const Harness&) = delete;
  Harness& operator=(const Harness&) = delete;

  // An empty index: page 3 holds an empty leaf root.
  static Harness Empty(const JetFormat& format = kJet4Format) {
    TestPageStore store(4, format);
    IndexPage root;
    root.owner = kTdefPage;
    EncodeIndexPage(root, store.WritePage(PageNumber(3)).data(), store.format());
    return Harness(std::move(store), PageNumber(3), kTdefPage);
  }

  IndexTree MakeTree() {
    return IndexTree(
        store_, root_, tdef_,
        [this] {
          PageNumber page = store_.AppendPage();
          allocated_.insert(page);
          owned_.insert(page);
          return page;
        },
        [this](PageNumber page) {
          released_.insert(page);
          owned_.erase(page);
        },
        "test.mdb");
  }

  IndexTree& tree() { return *tree_; }
  TestPageStore& store() { return store_; }
  PageNumber root() const { return root_; }
  const std::set<PageNumber>& allocated() const { return allocated_; }
  const std::set<PageNumber>& released() const { return released_; }
  const std::set<PageNumber>& owned() const { return owned_; }

  IndexCheckResult Check() {
    return CheckIndexTree(store_, root_, tdef_, [this](PageNumber page) { return owned_.count(page) > 0; });
  }

 private:
  TestPageStore store_;
  PageNumber root_, tdef_;
  std::set<PageNumber> owned_, allocated_, released_;
  std::optional<IndexTree> tree_;
};

std::string Problems(const IndexCheckResult& result) {
  std::string all;
  for (size_t i = 0; i < result.problems.size() && i < 10; ++i) all += result.problems[i] + "\n";
  return all;
}

std::vector<RowId> RowsOf(const Model& model, const std::string& key) {
  std::vector<RowId> rows;
  for (auto it = model.lower_bound({key, RowId{}}); it != model.end() && it->first == key; ++it) {
    rows.push_back(it->second);
  }
  return rows;
}

// The pages as stored (read by a tree with an empty cache) must hold exactly the model, the
// shape must pass the check, and every page the tree asked for must be in it.
void ExpectTreeHolds(Harness& harness, const Model& model, const std::vector<std::string>& probes) {
  IndexCheckResult check = harness.Check();
  ASSERT_TRUE(check.ok()) << Problems(check);
  EXPECT_EQ(model.size(), check.entries);
  std::set<PageNumber> tree_pages(check.pages.begin(), check.pages.end());
  EXPECT_EQ(harness.owned(), tree_pages) << "pages allocated but not in the tree, or the reverse";

  IndexTree fresh = harness.MakeTree();
  std::vector<std::pair<std::string, RowId>> walked;
  fresh.ForEach([&](std::string_view key, RowId row) { walked.emplace_back(std::string(key), row); });
  ASSERT_TRUE(std::equal(walked.begin(), walked.end(), model.begin(), model.end()))
      << "leaf chain differs from the expected entries";
  for (const std::string& key : probes) {
    ASSERT_EQ(RowsOf(model, key), fresh.FindEqual(key));
    ASSERT_EQ(!RowsOf(model, key).empty(), fresh.Contains(key));
  }
}

// Keys like the ones indexes hold, and some that are not: shared prefixes, every byte value,
// duplicates, sorted runs both ways, and the odd long key.
class KeyMaker {
 public:
  explicit KeyMaker(uint32_t seed) : random_(seed) {}

  std::string Random() {
    static const std::vector<std::string> prefixes = {
        "", "\x7f", "\x7f\x4a\x4c", std::string("\x7f\x80\x00\x00", 4), "\x7f\x60\x6b\x76\x6b\x64\x4c\x5b",
        std::string("\xff\x00", 2)};
    std::string key = prefixes[Pick(prefixes.size())];
    size_t length = Pick(25);
    for (size_t i = 0; i < length; ++i) key.push_back(static_cast<char>(Pick(256)));
    return Remember(key);
  }
  std::string Duplicate() { return used_.empty() ? Random() : used_[Pick(used_.size())]; }
  std::string Counter(uint32_t value) {
    std::string key = "\x7f";
    for (int shift = 24; shift >= 0; shift -= 8) key.push_back(static_cast<char>(value >> shift));
    key += std::string("\x01\x00", 2);
    return Remember(key);
  }
  std::string Long() {
    std::string key(300 + Pick(900), '\x55');
    for (size_t i = 280; i < key.size(); ++i) key[i] = static_cast<char>(Pick(256));
    return Remember(key);
  }
  RowId Row() { return RowAt(1 + static_cast<uint32_t>(Pick(0xFFFFFE)), static_cast<uint8_t>(Pick(256))); }
  size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random_); }
  const std::vector<std::string>& used() const { return used_; }

 private:
  std::string Remember(const std::string& key) {
    used_.push_back(key);
    return key;
  }
  std::mt19937 random_;
  std::vector<std::string> used_;
};

void InsertChecked(IndexTree& tree, Model& model, const std::string& key, RowId row) {
  if (model.count({key, row})) return;
  auto next = model.lower_bound({key, RowId{}});
  bool was_new = next == model.end() || next->first != key;
  ASSERT_EQ(was_new, tree.Insert(key, row)) << "new-key answer wrong";
  model.insert({key, row});
}

// Probe keys: some present, some near misses (prefixes, extensions, neighbours).
std::vector<std::string> Probes(KeyMaker& keys, size_t count) {
  std::vector<std::string> probes;
  for (size_t i = 0; i < count && !keys.used().empty(); ++i) {
    std::string key = keys.used()[keys.Pick(keys.used().size())];
    switch (i % 4) {
      case 1: key.push_back('\0'); break;
      case 2: if (!key.empty()) key.pop_back(); break;
      case 3: if (!key.empty()) key.back() = static_cast<char>(key.back() + 1); break;
      default: break;
    }
    probes.push_back(key);
  }
  probes.push_back("");
  return probes;
}

void RunMixedBatches(Harness& harness, Model& model, KeyMaker& keys, int batches, int per_batch) {
  uint32_t ascending = 1000, descending = 0x7FFFFFFF;
  for (int batch = 0; batch < batches; ++batch) {
    SCOPED_TRACE("batch " + std::to_string(batch));
    for (int i = 0; i < per_batch; ++i) {
      std::string key;
      switch (keys.Pick(10)) {
        case 0: case 1: case 2: case 3: key = keys.Random(); break;
        case 4: case 5: key = keys.Duplicate(); break;
        case 6: case 7: key = keys.Counter(ascending++); break;
        case 8: key = keys.Counter(descending--); break;
        default: key = keys.Pick(40) == 0 ? keys.Long() : keys.Random(); break;
      }
      ASSERT_NO_FATAL_FAILURE(InsertChecked(harness.tree(), model, key, keys.Row()));
    }
    ASSERT_NO_FATAL_FAILURE(ExpectTreeHolds(harness, model, Probes(keys, 400)));
  }
}

TEST(IndexTreeInsert, ManyMixedKeysIntoAnEmptyIndex) {
  Harness harness = Harness::Empty();
  Model model;
  KeyMaker keys(20261207);
  RunMixedBatches(harness, model, keys, 6, 4000);
  // Every key, not just a sample, is found with all its rows.
  std::vector<std::string> every_key;
  for (const auto& entry : model) {
    if (every_key.empty() || every_key.back() != entry.first) every_key.push_back(entry.first);
  }
  ASSERT_NO_FATAL_FAILURE(ExpectTreeHolds(harness, model, every_key));
  IndexCheckResult check = harness.Check();
  EXPECT_GE(check.levels, 3u) << "node splits were not exercised";
  EXPECT_EQ(PageNumber(3), harness.root());
  EXPECT_TRUE(harness.released().empty());
  // Only pages of the tree were written.
  for (PageNumber page : harness.store().written()) EXPECT_TRUE(harness.owned().count(page)) << page;
}

TEST(IndexTreeInsert, SortedRunsAloneKeepTheShape) {
  // Only ascending keys grow the tail leaf; only descending ones split the first leaf.
  for (bool up : {true, false}) {
    SCOPED_TRACE(up ? "ascending" : "descending");
    Harness harness = Harness::Empty();
    Model model;
    KeyMaker keys(7);
    for (uint32_t i = 0; i < 8000; ++i) {
      ASSERT_NO_FATAL_FAILURE(InsertChecked(harness.tree(), model, keys.Counter(up ? i : 100000 - i),
                                            RowAt(i / 100 + 1, uint8_t(i % 100))));
    }
    ASSERT_NO_FATAL_FAILURE(ExpectTreeHolds(harness, model, Probes(keys, 200)));
  }
}

TEST(IndexTreeInsert, AllEqualKeysOrderedByRow) {
  Harness harness = Harness::Empty();
  Model model;
  KeyMaker keys(3);
  const std::string key = "\x7f\x4a\x4c\x4d\x01";
  for (int i = 0; i < 3000; ++i) ASSERT_NO_FATAL_FAILURE(InsertChecked(harness.tree(), model, key, keys.Row()));
  ASSERT_NO_FATAL_FAILURE(ExpectTreeHolds(harness, model, {key, "\x7f\x4a\x4c\x4d", "\x7f\x4a\x4c\x4d\x01\x00"}));
  EXPECT_EQ(model.size(), harness.tree().FindEqual(key).size());
}

// In both page sizes; the long keys share 280 bytes, more than a Jet 3 page's one-byte
// prefix can say.
TEST(IndexTreeInsert, LongKeysSplitUnevenPages) {
  for (const JetFormat* format : {&kJet4Format, &kJet3Format}) {
    SCOPED_TRACE(format->page_size);
    Harness harness = Harness::Empty(*format);
    Model model;
    KeyMaker keys(11);
    const size_t longest = MaxIndexKeySize(*format);
    for (int i = 0; i < 1500; ++i) {
      std::string key = i % 3 == 0 ? keys.Long().substr(0, longest) : keys.Random();
      if (i % 7 == 0) key = std::string(longest, static_cast<char>(keys.Pick(256)));
      ASSERT_NO_FATAL_FAILURE(InsertChecked(harness.tree(), model, key, keys.Row()));
    }
    ASSERT_NO_FATAL_FAILURE(ExpectTreeHolds(harness, model, Probes(keys, 300)));
    EXPECT_THROW(harness.tree().Insert(std::string(longest + 1, 'x'), RowAt(1, 1)), Error);
  }
}

TEST(IndexTreeInsert, RefusesRepeatsAndOversizedKeysWithoutDamage) {
  Harness harness = Harness::Empty();
  Model model;
  KeyMaker keys(5);
  for (int i = 0; i < 500; ++i) ASSERT_NO_FATAL_FAILURE(InsertChecked(harness.tree(), model, keys.Random(), keys.Row()));
  const auto& [key, row] = *std::next(model.begin(), 250);
  EXPECT_THROW(harness.tree().Insert(key, row), Error);
  EXPECT_THROW(harness.tree().Insert(std::string(MaxIndexKeySize(kJet4Format) + 1, 'x'), RowAt(1, 1)), Error);
  EXPECT_THROW(harness.tree().Insert("a", RowAt(0x1000000, 1)), Error);
  ASSERT_NO_FATAL_FAILURE(InsertChecked(harness.tree(), model, keys.Random(), keys.Row()));
  ASSERT_NO_FATAL_FAILURE(ExpectTreeHolds(harness, model, Probes(keys, 100)));
}

TEST(IndexTreeInsert, NodeWithoutTailGetsOneWhenRewritten) {
  // Access may leave a node naming every child by an entry; the last child's bound must still
  // move up when a larger key lands there, and the rewritten node gets a tail.
  TestPageStore store(6);
  IndexPage left, right, root;
  left.owner = right.owner = root.owner = kTdefPage;
  left.entries = {EntryAt("\x7f\x10", 100, 0, 0), EntryAt("\x7f\x20", 100, 1, 0)};
  right.entries = {EntryAt("\x7f\x30", 100, 2, 0), EntryAt("\x7f\x40", 100, 3, 0)};
  left.next = PageNumber(5);
  right.prev = PageNumber(4);
  root.leaf = false;
  root.entries = {EntryAt("\x7f\x20", 100, 1, 4), EntryAt("\x7f\x40", 100, 3, 5)};
  EncodeIndexPage(left, store.WritePage(PageNumber(4)).data(), store.format());
  EncodeIndexPage(right, store.WritePage(PageNumber(5)).data(), store.format());
  EncodeIndexPage(root, store.WritePage(PageNumber(3)).data(), store.format());
  Harness harness(std::move(store), PageNumber(3), kTdefPage, {4, 5});
  ASSERT_TRUE(harness.Check().ok()) << Problems(harness.Check());

  // Lookups past the last bound and on the last child work on the tail-less form too.
  EXPECT_TRUE(harness.tree().FindEqual("\x7f\x50").empty());
  EXPECT_EQ(std::vector<RowId>{(RowAt(100, 3))}, harness.tree().FindEqual("\x7f\x40"));
  Model model;
  harness.tree().ForEach([&](std::string_view key, RowId row) { model.insert({std::string(key), row}); });
  ASSERT_NO_FATAL_FAILURE(InsertChecked(harness.tree(), model, "\x7f\x50", RowAt(100, 4)));
  ASSERT_NO_FATAL_FAILURE(ExpectTreeHolds(harness, model, {"\x7f\x50", "\x7f\x40", "\x7f\x45"}));
  IndexPage rewritten =
      DecodeIndexPage(harness.store().ReadPage(PageNumber(3)).data(), PageNumber(3), harness.store().format());
  EXPECT_EQ(PageNumber(5), rewritten.tail);
  ASSERT_EQ(1u, rewritten.entries.size());
  EXPECT_EQ(PageNumber(4), rewritten.entries[0].child);
}

TEST(IndexTreeInsert, NewLastEntryUnderATailMovesTheBoundAboveIt) {
  // Root with one ordinary entry over a node whose last child is its tail: a larger key lands
  // in the tail leaf, the middle node's bytes stay, and the root's entry must follow.
  TestPageStore store(7);
  IndexPage root, middle, first, last;
  root.owner = middle.owner = first.owner = last.owner = kTdefPage;
  first.entries = {EntryAt("\x7f\x10", 100, 0, 0)};
  last.entries = {EntryAt("\x7f\x20", 100, 1, 0)};
  first.next = PageNumber(6);
  last.prev = PageNumber(5);
  middle.leaf = false;
  middle.entries = {EntryAt("\x7f\x10", 100, 0, 5)};
  middle.tail = PageNumber(6);
  root.leaf = false;
  root.entries = {EntryAt("\x7f\x20", 100, 1, 4)};
  EncodeIndexPage(root, store.WritePage(PageNumber(3)).data(), store.format());
  EncodeIndexPage(middle, store.WritePage(PageNumber(4)).data(), store.format());
  EncodeIndexPage(first, store.WritePage(PageNumber(5)).data(), store.format());
  EncodeIndexPage(last, store.WritePage(PageNumber(6)).data(), store.format());
  Harness harness(std::move(store), PageNumber(3), kTdefPage, {4, 5, 6});
  ASSERT_TRUE(harness.Check().ok()) << Problems(harness.Check());
  Model model = {{"\x7f\x10", RowAt(100, 0)}, {"\x7f\x20", RowAt(100, 1)}};
  ASSERT_NO_FATAL_FAILURE(InsertChecked(harness.tree(), model, "\x7f\x30", RowAt(100, 2)));
  ASSERT_NO_FATAL_FAILURE(ExpectTreeHolds(harness, model, {"\x7f\x30", "\x7f\x20"}));
  IndexPage new_root =
      DecodeIndexPage(harness.store().ReadPage(PageNumber(3)).data(), PageNumber(3), harness.store().format());
  ASSERT_EQ(1u, new_root.entries.size());
  EXPECT_EQ("\x7f\x30", new_root.entries[0].key);
}

TEST(IndexTreeInsert, DeepTreeOfHugeKeysKeepsNodeLinksWithinOneParent) {
  Harness harness = Harness::Empty();
  Model model;
  KeyMaker keys(77);
  for (int i = 0; i < 400; ++i) {
    std::string key(1000, ' ');
    for (char& c : key) c = static_cast<char>(keys.Pick(256));
    ASSERT_NO_FATAL_FAILURE(InsertChecked(harness.tree(), model, key, keys.Row()));
  }
  ASSERT_NO_FATAL_FAILURE(ExpectTreeHolds(harness, model, {}));
  IndexCheckResult check = harness.Check();
  ASSERT_GE(check.levels, 5u);
  // Walk the levels: a node's links may only reach nodes with the same parent.
  std::map<PageNumber, PageNumber> parent_of;
  std::vector<PageNumber> level = {harness.root()};
  size_t cross_parent_pairs = 0;
  while (!level.empty()) {
    std::vector<PageNumber> below;
    for (PageNumber page : level) {
      IndexPage p = DecodeIndexPage(harness.store().ReadPage(page).data(), page, harness.store().format());
      if (p.leaf) continue;
      for (const IndexEntry& e : p.entries) below.push_back(e.child);
      if (!p.tail.is_none()) below.push_back(p.tail);
      for (const IndexEntry& e : p.entries) parent_of[e.child] = page;
      if (!p.tail.is_none()) parent_of[p.tail] = page;
      if (!p.next.is_none()) {
        EXPECT_EQ(parent_of[page], parent_of[p.next]) << "node " << page << " linked across parents";
      }
    }
    for (size_t i = 0; i + 1 < below.size(); ++i) {
      cross_parent_pairs += parent_of[below[i]] != parent_of[below[i + 1]];
    }
    level = below;
  }
  EXPECT_GT(cross_parent_pairs, 5u) << "the tree was too small to tell";

  // The check notices a missing link between siblings.
  IndexPage root =
      DecodeIndexPage(harness.store().ReadPage(harness.root()).data(), harness.root(), harness.store().format());
  PageNumber node = root.entries.at(0).child;
  IndexPage p = DecodeIndexPage(harness.store().ReadPage(node).data(), node, harness.store().format());
  ASSERT_FALSE(p.leaf);
  const PageNumber sibling = p.next;
  p.next = kNoPage;
  EncodeIndexPage(p, harness.store().WritePage(node).data(), harness.store().format());
  std::string problems = Problems(harness.Check());
  EXPECT_NE(std::string::npos, problems.find("not linked to its next sibling " + to_string(sibling))) << problems;
  EXPECT_NE(std::string::npos, problems.find("goes one way only")) << problems;
}

TEST(IndexTreeInsert, IntoCopiesOfFixtureIndexes) {
  REQUIRE_FIXTURES();
  size_t multi_level = 0;
  for (const char* name : {"listini/listini-pieno.mdb", "jet/V2000/compIndexTestV2000.mdb", "listini/listini.mdb",
                           "jet/V1997/compIndexTestV1997.mdb"}) {
    TestPageStore original = TestPageStore::FromFile(testsupport::FixturesDir() / name);
    std::vector<testsupport::FixtureIndex> indexes = testsupport::FindFixtureIndexes(original);
    ASSERT_GE(indexes.size(), 9u) << name;
    for (const auto& index : indexes) {
      SCOPED_TRACE(std::string(name) + " root " + to_string(index.root_page));
      const bool has_nodes = CheckIndexTree(original, index.root_page, index.tdef_page).levels > 1;
      multi_level += has_nodes;
      Harness harness(TestPageStore::FromFile(testsupport::FixturesDir() / name), index.root_page,
                      index.tdef_page, testsupport::UsageMapPages(original, index.usage_map));
      Model model;
      harness.tree().ForEach([&](std::string_view key, RowId row) { model.insert({std::string(key), row}); });
      // Existing keys come back with new rows, next to fresh keys of every kind.
      std::vector<std::string> existing;
      for (const auto& entry : model) existing.push_back(entry.first);
      KeyMaker keys(index.root_page.value());
      const int batches = has_nodes ? 3 : 1;
      for (int batch = 0; batch < batches; ++batch) {
        for (int i = 0; i < 500; ++i) {
          std::string key = (!existing.empty() && i % 3 == 0) ? existing[keys.Pick(existing.size())]
                            : i % 3 == 1 ? keys.Counter(static_cast<uint32_t>(keys.Pick(1u << 31)))
                                         : keys.Random();
          ASSERT_NO_FATAL_FAILURE(InsertChecked(harness.tree(), model, key, keys.Row()));
        }
        std::vector<std::string> probes = Probes(keys, 100);
        for (int i = 0; i < 100 && !existing.empty(); ++i) probes.push_back(existing[keys.Pick(existing.size())]);
        ASSERT_NO_FATAL_FAILURE(ExpectTreeHolds(harness, model, probes));
      }
    }
  }
  EXPECT_EQ(5u, multi_level);
}

TEST(IndexTreeBatch, PagesAreWrittenOnlyByFlushAndReadsSeePendingEntries) {
  Harness harness = Harness::Empty();
  Model model;
  KeyMaker keys(8);
  RunMixedBatches(harness, model, keys, 1, 1000);
  const std::vector<uint8_t> root_before(harness.store().ReadPage(harness.root()).data(),
                                         harness.store().ReadPage(harness.root()).data() + kJet4Format.page_size);
  harness.store().ForgetWrites();

  harness.tree().BeginBatch();
  for (int i = 0; i < 3000; ++i) ASSERT_NO_FATAL_FAILURE(InsertChecked(harness.tree(), model, keys.Random(), keys.Row()));
  EXPECT_TRUE(harness.tree().has_unwritten_changes());
  // Only the fresh pages from AppendPage were touched, and the root still holds its old bytes.
  for (PageNumber page : harness.store().written()) EXPECT_TRUE(harness.allocated().count(page)) << page;
  EXPECT_TRUE(std::equal(root_before.begin(), root_before.end(), harness.store().ReadPage(harness.root()).data()));
  for (const std::string& key : Probes(keys, 100)) ASSERT_EQ(RowsOf(model, key), harness.tree().FindEqual(key));

  harness.tree().Flush();
  EXPECT_FALSE(harness.tree().has_unwritten_changes());
  ASSERT_NO_FATAL_FAILURE(ExpectTreeHolds(harness, model, Probes(keys, 200)));
  // After Flush, inserts write through again.
  harness.store().ForgetWrites();
  ASSERT_NO_FATAL_FAILURE(InsertChecked(harness.tree(), model, keys.Random(), keys.Row()));
  EXPECT_FALSE(harness.store().written().empty());
  EXPECT_FALSE(harness.tree().has_unwritten_changes());
}

TEST(IndexTreeBatch, ARefusedInsertKeepsTheBatchButAFailedSplitEndsIt) {
  Harness harness = Harness::Empty();
  Model model;
  KeyMaker keys(9);
  harness.tree().BeginBatch();
  for (int i = 0; i < 200; ++i) ASSERT_NO_FATAL_FAILURE(InsertChecked(harness.tree(), model, keys.Random(), keys.Row()));
  const auto& [key, row] = *model.begin();
  EXPECT_THROW(harness.tree().Insert(key, row), Error);  // refused before any change
  harness.tree().Flush();
  ASSERT_NO_FATAL_FAILURE(ExpectTreeHolds(harness, model, Probes(keys, 50)));

  // A page allocation that fails half way through a split inside a batch.
  TestPageStore& store = harness.store();
  int allocations_left = 0;
  IndexTree tree(
      store, harness.root(), kTdefPage,
      [&]() -> PageNumber {
        if (allocations_left-- <= 0) throw Error("test.mdb", "disk full");
        return store.AppendPage();
      },
      [](PageNumber) {});
  tree.BeginBatch();
  try {
    for (int i = 0; i < 5000; ++i) tree.Insert(keys.Random(), keys.Row());
    ADD_FAILURE() << "no split happened";
  } catch (const Error& error) {
    EXPECT_EQ("disk full", error.reason());
  }
  EXPECT_THROW(tree.Insert("x", RowAt(1, 1)), Error);
  EXPECT_THROW(tree.Flush(), Error);
}

TEST(IndexTreeClear, EmptiesTheRootReleasesTheRestAndTakesNewEntries) {
  Harness harness = Harness::Empty();
  Model model;
  KeyMaker keys(99);
  RunMixedBatches(harness, model, keys, 1, 5000);
  std::set<PageNumber> tree_pages = harness.allocated();
  ASSERT_GT(tree_pages.size(), 10u);

  harness.tree().Clear();
  EXPECT_EQ(tree_pages, harness.released());
  for (PageNumber page : tree_pages) EXPECT_EQ(0, harness.store().ReadPage(page).data()[0]) << "freed page " << page;
  IndexPage root =
      DecodeIndexPage(harness.store().ReadPage(harness.root()).data(), harness.root(), harness.store().format());
  EXPECT_TRUE(root.leaf);
  EXPECT_TRUE(root.entries.empty());
  EXPECT_EQ(0u, root.prev.value() + root.next.value() + root.tail.value());
  model.clear();
  ASSERT_NO_FATAL_FAILURE(ExpectTreeHolds(harness, model, Probes(keys, 50)));
  EXPECT_FALSE(harness.tree().Contains(keys.used().front()));

  RunMixedBatches(harness, model, keys, 2, 3000);
}

TEST(IndexTreeClear, FixtureIndexWithNodes) {
  REQUIRE_FIXTURES();
  TestPageStore store = TestPageStore::FromFile(testsupport::Listini("listini-pieno.mdb"));
  size_t cleared = 0;
  for (const auto& index : testsupport::FindFixtureIndexes(store)) {
    IndexCheckResult before = CheckIndexTree(store, index.root_page, index.tdef_page);
    if (before.levels < 2) continue;
    std::set<PageNumber> released;
    IndexTree tree(
        store, index.root_page, index.tdef_page, [&] { return store.AppendPage(); },
        [&](PageNumber page) { released.insert(page); });
    tree.Clear();
    ++cleared;
    EXPECT_EQ(std::set<PageNumber>(before.pages.begin() + 1, before.pages.end()), released);
    IndexCheckResult after = CheckIndexTree(store, index.root_page, index.tdef_page);
    EXPECT_TRUE(after.ok()) << Problems(after);
    EXPECT_EQ(0u, after.entries);
    EXPECT_EQ(1u, after.levels);
  }
  EXPECT_EQ(3u, cleared);
}

TEST(IndexTreePages, ListedInTheCheckersOrderAndNotForABrokenTree) {
  REQUIRE_FIXTURES();
  TestPageStore store = TestPageStore::FromFile(testsupport::FixturesDir() / "listini/listini-pieno.mdb");
  size_t broken = 0;
  for (const auto& index : testsupport::FindFixtureIndexes(store)) {
    SCOPED_TRACE("root " + to_string(index.root_page));
    const IndexCheckResult check = CheckIndexTree(store, index.root_page, index.tdef_page);
    EXPECT_EQ(check.pages, ListTreePages(store, index.root_page, index.tdef_page));
    EXPECT_EQ(std::nullopt,
              ListTreePages(store, index.root_page, PageNumber(index.tdef_page.value() + 1)));  // another table's
    if (check.levels < 2) continue;
    // A node whose first child is the root again: a loop, not a tree.
    IndexPage root = DecodeIndexPage(store.ReadPage(index.root_page).data(), index.root_page, store.format());
    root.entries.front().child = index.root_page;
    std::vector<uint8_t> saved(store.ReadPage(index.root_page).data(),
                               store.ReadPage(index.root_page).data() + kJet4Format.page_size);
    EncodeIndexPage(root, store.WritePage(index.root_page).data(), store.format());
    EXPECT_EQ(std::nullopt, ListTreePages(store, index.root_page, index.tdef_page));
    std::copy(saved.begin(), saved.end(), store.WritePage(index.root_page).data());
    ++broken;
  }
  EXPECT_EQ(3u, broken);
}

TEST(IndexTreeDamage, LoopsAndMissingPagesAreReportedNotFollowedForever) {
  Harness harness = Harness::Empty();
  Model model;
  KeyMaker keys(1);
  RunMixedBatches(harness, model, keys, 1, 2000);
  IndexCheckResult check = harness.Check();
  ASSERT_GE(check.leaf_pages, 3u);
  // Point the last leaf back at the first one.
  PageNumber first_leaf, last_leaf;
  for (PageNumber page : check.pages) {
    IndexPage p = DecodeIndexPage(harness.store().ReadPage(page).data(), page, harness.store().format());
    if (p.leaf && p.prev.is_none()) first_leaf = page;
    if (p.leaf && p.next.is_none()) last_leaf = page;
  }
  IndexPage last = DecodeIndexPage(harness.store().ReadPage(last_leaf).data(), last_leaf, harness.store().format());
  last.next = first_leaf;
  EncodeIndexPage(last, harness.store().WritePage(last_leaf).data(), harness.store().format());
  IndexTree fresh = harness.MakeTree();
  EXPECT_THROW(fresh.ForEach([](std::string_view, RowId) {}), Error);
  EXPECT_FALSE(harness.Check().ok());

  harness.store().WritePage(first_leaf).data()[0] = 0x01;  // no longer an index page
  IndexTree again = harness.MakeTree();
  try {
    again.FindEqual(model.begin()->first);
    ADD_FAILURE() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ("test.mdb", error.file());
    EXPECT_NE(std::string::npos, error.reason().find(to_string(first_leaf)));
  }
}

}  // namespace
}  // namespace engine::jet
