// Import run speed, without the window: 100,000 source records from a .mdb (table "Prodotti"
// of a copy of fonte.mdb, refilled), half of whose codes a 100,000-article copy of
// listini.mdb already holds. Every slot is chosen, so each new article takes all seven
// columns; the run makes one lookup per record, one "Articoli" refresh and store per new
// article, and one commit.
//
// BM_ImportRunWithRules does the same into the layout of regole/listini-proprieta.mdb, whose
// columns have defaults (=Date(), "Generale", 0, True, "Interno"), Required and
// AllowZeroLength properties and the rule >=0 on "Prezzo": each added article is started
// with its defaults and checked against the rules. Its time is meant to stay within 1.2
// times that of BM_ImportRun.
//
// BM_ImportRunAccess97 does the same into an Access 97 price list with the same 100,000
// articles, made by the engine (Jet 3: 2 KB pages, code-page texts, Jet 3 index pages); its
// time is meant to stay within 1.5 times that of BM_ImportRun.
//
// The archives are written once with the engine before timing; each iteration imports
// into a fresh copy of the destination.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "archives/data_binding.h"
#include "bench/bench_archives.h"
#include "bench/headless_window.h"
#include "import/import_run.h"

namespace {

namespace fs = std::filesystem;
using bench::Records;

// The shared 100,000-record archives, the same articles in the rules' layout, and, made when
// its benchmark first runs, in an Access 97 price list.
struct Archives : bench::ImportArchives {
  fs::path rules_template;
  fs::path access97_template;
  std::string access97_error;

  Archives() : bench::ImportArchives("archivi-import-bench") {
    if (!error.empty()) return;
    rules_template = folder / "listini-proprieta-100000.mdb";
    fs::copy_file(bench::FixturesDir() / "regole" / "listini-proprieta.mdb", rules_template,
                  fs::copy_options::overwrite_existing);
    bench::Refill(rules_template, u"Articoli", Records(), bench::FillArticle);
  }

  const fs::path& Access97Template() {
    if (access97_template.empty() && access97_error.empty()) {
      access97_template = folder / "listini-97-100000.mdb";
      access97_error = bench::MakeAccess97List(access97_template, Records());
    }
    return access97_template;
  }
};

enum class Destination { kAccess2000, kAccess2000WithRules, kAccess97 };

void RunImports(benchmark::State& state, Destination kind) {
  static Archives archives_on_disk;
  if (!archives_on_disk.error.empty()) {
    state.SkipWithError(archives_on_disk.error.c_str());
    return;
  }
  const fs::path& template_file = kind == Destination::kAccess97              ? archives_on_disk.Access97Template()
                                  : kind == Destination::kAccess2000WithRules ? archives_on_disk.rules_template
                                                                              : archives_on_disk.destination_template;
  if (kind == Destination::kAccess97 && !archives_on_disk.access97_error.empty()) {
    state.SkipWithError(archives_on_disk.access97_error.c_str());
    return;
  }
  const fs::path destination = archives_on_disk.folder / "listini.mdb";
  for (auto _ : state) {
    state.PauseTiming();
    fs::copy_file(template_file, destination, fs::copy_options::overwrite_existing);
    archives::WindowState window(engine::TextLocale::Italian());
    window.DataDestinazione.DatabaseName = engine::FromUtf8(destination.string());
    window.DataDestinazione.RecordSource = u"Articoli";
    window.DataDestinazione.Refresh();
    window.DataSorgente.DatabaseName = engine::FromUtf8(archives_on_disk.source.string());
    window.DataSorgente.RecordSource = u"Prodotti";
    window.DataSorgente.Refresh();
    bench::HeadlessWindow headless(u"fonte.mdb", archives::kAnswerNo);
    state.ResumeTiming();

    const import::ImportResult result = import::RunImport(u"Importa", window, headless, headless);

    state.PauseTiming();
    window.DataDestinazione.Close();
    if (result.added != Records() / 2 || result.already_present != Records() / 2 || result.failed != 0) {
      state.SkipWithError(("unexpected counts; first failure: " + result.first_failure).c_str());
    }
    state.counters["added"] = static_cast<double>(result.added);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * Records());
}
void BM_ImportRun(benchmark::State& state) { RunImports(state, Destination::kAccess2000); }
void BM_ImportRunWithRules(benchmark::State& state) { RunImports(state, Destination::kAccess2000WithRules); }
void BM_ImportRunAccess97(benchmark::State& state) { RunImports(state, Destination::kAccess97); }
BENCHMARK(BM_ImportRun)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_ImportRunWithRules)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_ImportRunAccess97)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
