// The import's per-record lookup on a 100,000-article copy of listini.mdb open for writing,
// as the import has it: 100,000 codes, half of them there, each counted once
// - BM_LookupByOpeningTheStatement: the whole statement opened as a record set per code (how
//   every record was looked up before lookups were prepared);
// - BM_PreparedLookup: one lookup prepared for the run, asked with each code.
// The gap between the two is what parsing the statement, finding its table and column, and
// making and dropping a record set cost per code.
// ARCHIVI_BENCH_RECORDS sets a smaller size.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/bench_archives.h"
#include "engine/database/database.h"
#include "engine/open/open_database.h"

namespace {

constexpr std::u16string_view kBefore = u"Select * From Articoli where [Codice Articolo]='";
constexpr std::u16string_view kAfter = u"';";

struct LookupArchives : bench::ImportArchives {
  std::vector<std::u16string> codes;  // the source's codes: every even one is in the list
  LookupArchives() : bench::ImportArchives("archivi-lookup-bench") {
    for (int i = 0; i < bench::Records(); ++i) codes.push_back(bench::Numbered("S-%06d", i));
  }
};

template <typename Count>
void LookUpEveryCode(benchmark::State& state, Count count) {
  static LookupArchives archives;
  if (!archives.error.empty()) {
    state.SkipWithError(archives.error.c_str());
    return;
  }
  auto database = engine::OpenDatabase(archives.destination_template, u"Access 2000;", engine::OpenMode::ReadWrite,
                                       engine::TextLocale::Italian());
  const auto prepared = database->PrepareLookup(kBefore, kAfter);
  for (auto _ : state) {
    long found = 0;
    for (const std::u16string& code : archives.codes) found += count(*database, *prepared, code) > 0;
    if (found != bench::Records() / 2) state.SkipWithError("unexpected number of codes found");
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(archives.codes.size()));
}

void BM_LookupByOpeningTheStatement(benchmark::State& state) {
  std::u16string statement;
  LookUpEveryCode(state, [&](engine::Database& database, engine::PreparedLookup&, const std::u16string& code) {
    statement.assign(kBefore).append(code).append(kAfter);
    return database.OpenRecordset(statement)->RecordCount();
  });
}
void BM_PreparedLookup(benchmark::State& state) {
  LookUpEveryCode(state, [](engine::Database&, engine::PreparedLookup& prepared, const std::u16string& code) {
    return prepared.RecordCount(code);
  });
}
BENCHMARK(BM_LookupByOpeningTheStatement)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PreparedLookup)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
