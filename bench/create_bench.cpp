// Creating databases: `archivi create` (a new listini.mdb written to disk), and adding tables
// to a catalogue in memory, where the MSysObjects indexes grow past one page.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "engine/jet/create/database_creator.h"
#include "engine/jet/page/usage_map_writer.h"

namespace {

void BM_CreateListini(benchmark::State& state) {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("archivi-create-bench-" + std::to_string(::getpid()) + ".mdb");
  for (auto _ : state) {
    engine::jet::CreateListiniDatabase(path);
    state.PauseTiming();
    std::filesystem::remove(path);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_CreateListini)->Unit(benchmark::kMicrosecond);

void BM_CreateTablesInMemory(benchmark::State& state) {
  const engine::jet::TableSpec articoli = engine::jet::ArticoliTableSpec();
  for (auto _ : state) {
    engine::jet::EmptyDatabase database = engine::jet::BuildEmptyDatabase("bench.mdb", {44000.0});
    engine::jet::PageAllocator allocator(database.image);
    const engine::jet::PageSource new_page = [&] { return allocator.Allocate(); };
    engine::jet::TableSpec spec = articoli;
    for (int64_t i = 0; i < state.range(0); ++i) {
      spec.name = u"Articoli " + engine::FromUtf8(std::to_string(i));
      engine::jet::CreateTable(database.image, new_page, database.catalogue, spec, "bench.mdb", 44000.0);
    }
    benchmark::DoNotOptimize(database.image.page_count());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CreateTablesInMemory)->Arg(10)->Arg(300)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
