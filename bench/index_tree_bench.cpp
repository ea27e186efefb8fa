// Index B-tree speed: the import looks each article up in the "Codice Articolo" index and then
// enters it into every index, so 100,000 articles mean about 100,000 lookups and 100,000
// inserts per index. Keys here are 20-byte text-like sort keys in random order, on an
// in-memory page store (the pager's own cost is measured elsewhere).
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "engine/jet/index/index_page.h"
#include "engine/jet/index/index_tree.h"
#include "tests/support/test_page_store.h"

namespace {

using engine::jet::IndexPage;
using engine::jet::IndexTree;
using engine::jet::RowId;
using testsupport::TestPageStore;

constexpr int kArticles = 100000;
constexpr engine::jet::PageNumber kRoot{3}, kTdef{2};

// Like the key of "ART-012345"-style codes: flag, 17 letter/digit codes, end marks.
std::vector<std::string> TextLikeKeys(int count) {
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> code(0x36, 0x78);
  std::vector<std::string> keys;
  keys.reserve(count);
  for (int i = 0; i < count; ++i) {
    std::string key = "\x7f\x4a\x66\x6f";  // a shared start, as article codes have
    while (key.size() < 18) key.push_back(static_cast<char>(code(random)));
    key += std::string("\x01\x00", 2);
    keys.push_back(std::move(key));
  }
  return keys;
}

RowId RowFor(int i) {
  return RowId{engine::jet::PageNumber(static_cast<uint32_t>(100 + i / 40)), static_cast<uint8_t>(i % 40)};
}

struct EmptyIndex {
  TestPageStore store{4};
  IndexTree tree;
  EmptyIndex()
      : tree(
            store, kRoot, kTdef, [this] { return store.AppendPage(); }, [](engine::jet::PageNumber) {}) {
    IndexPage root;
    root.owner = kTdef;
    engine::jet::EncodeIndexPage(root, store.WritePage(kRoot).data(), store.format());
  }
};

void BM_Insert(benchmark::State& state) {
  const std::vector<std::string> keys = TextLikeKeys(kArticles);
  for (auto _ : state) {
    state.PauseTiming();
    auto index = std::make_unique<EmptyIndex>();
    state.ResumeTiming();
    for (int i = 0; i < kArticles; ++i) index->tree.Insert(keys[i], RowFor(i));
    state.PauseTiming();
    index.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kArticles);
}
BENCHMARK(BM_Insert)->Unit(benchmark::kMillisecond);

// The same inside one batch: each changed page is encoded once, by the closing Flush.
void BM_InsertBatched(benchmark::State& state) {
  const std::vector<std::string> keys = TextLikeKeys(kArticles);
  for (auto _ : state) {
    state.PauseTiming();
    auto index = std::make_unique<EmptyIndex>();
    state.ResumeTiming();
    index->tree.BeginBatch();
    for (int i = 0; i < kArticles; ++i) index->tree.Insert(keys[i], RowFor(i));
    index->tree.Flush();
    state.PauseTiming();
    index.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kArticles);
}
BENCHMARK(BM_InsertBatched)->Unit(benchmark::kMillisecond);

void BM_FindEqual(benchmark::State& state) {
  const std::vector<std::string> keys = TextLikeKeys(kArticles);
  EmptyIndex index;
  for (int i = 0; i < kArticles; ++i) index.tree.Insert(keys[i], RowFor(i));
  size_t found = 0;
  for (auto _ : state) {
    for (int i = 0; i < kArticles; ++i) found += index.tree.FindEqual(keys[(i * 7919) % kArticles]).size();
  }
  benchmark::DoNotOptimize(found);
  state.SetItemsProcessed(state.iterations() * kArticles);
}
BENCHMARK(BM_FindEqual)->Unit(benchmark::kMillisecond);

// What one import does per article on one index: a lookup, then the insert, in one batch.
void BM_LookupThenInsert(benchmark::State& state) {
  const std::vector<std::string> keys = TextLikeKeys(kArticles);
  for (auto _ : state) {
    state.PauseTiming();
    auto index = std::make_unique<EmptyIndex>();
    state.ResumeTiming();
    index->tree.BeginBatch();
    for (int i = 0; i < kArticles; ++i) {
      benchmark::DoNotOptimize(index->tree.Contains(keys[i]));
      index->tree.Insert(keys[i], RowFor(i));
    }
    index->tree.Flush();
    state.PauseTiming();
    index.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kArticles);
}
BENCHMARK(BM_LookupThenInsert)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
