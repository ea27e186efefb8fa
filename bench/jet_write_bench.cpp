// The import's write pattern on the price list: for each of 100,000 new articles, a WHERE
// lookup of its code (through the index), then AddNew / SetValue x 8 / Update, with the
// engine's group commits (a second after the first unsaved record) and a final Commit. Into
// a fresh copy of listini-pieno.mdb each run. Reports the peak resident memory of the process as a counter.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/jet/database/jet_database.h"
#include "engine/value/value.h"

namespace fs = std::filesystem;
using engine::Value;

namespace {

// $ARCHIVI_FIXTURES, else ../shared/fixtures beside the project (the program sits in
// PROJECT/build-x/bin).
fs::path Fixture() {
  if (const char* env = std::getenv("ARCHIVI_FIXTURES"); env && *env) return fs::path(env) / "listini" / "listini-pieno.mdb";
  return fs::canonical("/proc/self/exe").parent_path() / ".." / ".." / ".." / "shared" / "fixtures" / "listini" /
         "listini-pieno.mdb";
}

std::u16string Code(long i) {
  const std::string text = "NUOVO-" + std::to_string(i * 7919 % 1000003) + (i % 3 ? "" : "-è");
  return engine::FromUtf8(text);
}

void ImportArticles(benchmark::State& state) {
  const long articles = state.range(0);
  const fs::path folder = fs::temp_directory_path() / ("jet_write_bench_" + std::to_string(getpid()));
  fs::create_directories(folder);
  const fs::path file = folder / "listini.mdb";
  for (auto _ : state) {
    state.PauseTiming();
    fs::copy_file(Fixture(), file, fs::copy_options::overwrite_existing);
    state.ResumeTiming();
    auto database = engine::jet::OpenJetDatabase(file, engine::OpenMode::ReadWrite, engine::TextLocale::Italian());
    auto records = database->OpenRecordset(u"Articoli");
    const int code = records->FieldPosition(u"Codice Articolo"), description = records->FieldPosition(u"Descrizione"),
              price = records->FieldPosition(u"Prezzo"), category = records->FieldPosition(u"Categoria"),
              date = records->FieldPosition(u"Data Inserimento"), image = records->FieldPosition(u"Immagine");
    long found = 0;
    for (long i = 0; i < articles; ++i) {
      const std::u16string c = Code(i);
      auto existing = database->OpenRecordset(u"Select * From Articoli where [Codice Articolo]='" + c + u"'");
      found += existing->RecordCount();
      records->AddNew();
      records->SetValue(code, Value::Text(c));
      records->SetValue(description, Value::Text(u"Articolo di prova " + c));
      records->SetValue(price, Value::Text(u"12,34"));
      records->SetValue(category, Value::Text(i % 2 ? u"Vini" : u"Caffè e tè"));
      records->SetValue(date, Value::Text(u"07/12/2026"));
      records->SetValue(image, Value::Text(u"\\\\server\\foto\\" + c + u".jpg"));
      records->Update();
    }
    database->Commit();
    benchmark::DoNotOptimize(found);
  }
  fs::remove_all(folder);
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
  state.counters["articles_per_s"] = benchmark::Counter(static_cast<double>(articles) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(ImportArticles)->Arg(100000)->Arg(20000)->Arg(5000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
