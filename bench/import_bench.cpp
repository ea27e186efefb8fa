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
// The archives are written once with the engine before timing; each iteration imports
// into a fresh copy of the destination.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "archives/data_binding.h"
#include "archives/window_interface.h"
#include "engine/database.h"
#include "engine/open/open_database.h"
#include "import/import_run.h"

namespace {

namespace fs = std::filesystem;

// ARCHIVI_BENCH_RECORDS sets a smaller size for profiling.
const int kRecords = [] {
  const char* env = std::getenv("ARCHIVI_BENCH_RECORDS");
  return env && std::atoi(env) > 0 ? std::atoi(env) : 100000;
}();

fs::path FixturesDir() {
  if (const char* env = std::getenv("ARCHIVI_FIXTURES"); env && *env) return env;
  std::array<char, 4096> exe{};
  const ssize_t length = readlink("/proc/self/exe", exe.data(), exe.size() - 1);
  // build-x/bin/import_bench -> project root -> ../shared/fixtures
  const fs::path beside_project =
      fs::path(std::string(exe.data(), length > 0 ? length : 0)).parent_path() / ".." / ".." / ".." / "shared" / "fixtures";
  if (fs::is_directory(beside_project)) return beside_project;
  return fs::current_path() / ".." / "shared" / "fixtures";
}

std::u16string Numbered(const char* format, int n) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, n);
  return engine::FromUtf8(buffer);
}

// Writes `count` rows into `table` of `file`, after emptying it; `fill` sets each new row.
template <typename Fill>
void Refill(const fs::path& file, std::u16string_view table, int count, Fill fill) {
  auto database = engine::OpenDatabase(file, u"Access 2000;", engine::OpenMode::ReadWrite, engine::TextLocale::English());
  database->Execute(u"DELETE * From " + std::u16string(table) + u";");
  auto records = database->OpenRecordset(table);
  for (int i = 0; i < count; ++i) {
    records->AddNew();
    fill(*records, i);
    records->Update();
  }
  database->Commit();
}

struct Archives {
  fs::path folder;
  fs::path source, destination_template, rules_template;
  std::string error;

  Archives() {
    const fs::path fixtures = FixturesDir() / "listini";
    if (!fs::is_directory(fixtures)) {
      error = "shared fixtures folder not found";
      return;
    }
    folder = fs::temp_directory_path() / ("archivi-import-bench-" + std::to_string(getpid()));
    fs::create_directories(folder);
    source = folder / "fonte.mdb";
    destination_template = folder / "listini-100000.mdb";
    rules_template = folder / "listini-proprieta-100000.mdb";
    fs::copy_file(fixtures / "fonte.mdb", source, fs::copy_options::overwrite_existing);
    fs::copy_file(fixtures / "listini.mdb", destination_template, fs::copy_options::overwrite_existing);
    fs::copy_file(fixtures / ".." / "regole" / "listini-proprieta.mdb", rules_template,
                  fs::copy_options::overwrite_existing);
    using engine::Value;
    Refill(source, u"Prodotti", kRecords, [](engine::Recordset& r, int i) {
      r.SetValue(u"Codice", Value::Text(Numbered("S-%06d", i)));
      r.SetValue(u"Nome", Value::Text(Numbered("Prodotto numero %d", i)));
      r.SetValue(u"Prezzo", Value::Double(i % 1000 + 0.25));
      r.SetValue(u"Categoria", Value::Text(Numbered("Reparto/%d", i % 50)));
      r.SetValue(u"Immagine", Value::Text(Numbered("C:\\immagini\\S-%06d.jpg", i)));
    });
    // Every even source code is there already; the other half are codes of its own.
    auto article = [](engine::Recordset& r, int i) {
      r.SetValue(u"Codice Articolo", Value::Text(i % 2 == 0 ? Numbered("S-%06d", i) : Numbered("D-%06d", i)));
      r.SetValue(u"Descrizione", Value::Text(u"Articolo gia presente"));
      r.SetValue(u"Categoria", Value::Text(u"Listino"));
    };
    Refill(destination_template, u"Articoli", kRecords, article);
    Refill(rules_template, u"Articoli", kRecords, article);
  }
  ~Archives() {
    std::error_code ignored;
    if (!folder.empty()) fs::remove_all(folder, ignored);
  }
};

class Headless : public archives::FormControls, public archives::Dialogs {
 public:
  std::array<std::u16string, 7> pickers{u"Categoria", u"Codice", u"Nome", u"Nome", u"Prezzo", u"Prezzo", u"Immagine"};
  std::u16string Text1() const override { return u"fonte.mdb"; }
  void SetText1(std::u16string_view) override {}
  std::u16string Combo2Text() const override { return u"Prodotti"; }
  void ClearCombo2() override {}
  void AppendCombo2(std::u16string_view) override {}
  std::u16string PickerText(int picker) const override { return pickers.at(picker); }
  void ClearPicker(int) override {}
  void AppendPicker(int, std::u16string_view) override {}
  void EnablePicker(int) override {}
  void SetProgress(float) override {}
  int MessageBox(std::u16string_view, archives::MessageStyle style) override {
    return style == archives::MessageStyle::YesNo ? archives::kAnswerNo : archives::kAnswerOk;
  }
  std::u16string OpenFile(std::u16string_view) override { return {}; }
  void ProcessEvents() override {}
  [[noreturn]] void EndProgram() override { throw archives::ProgramEnded{}; }
};

void RunImports(benchmark::State& state, bool with_rules) {
  static Archives archives_on_disk;
  if (!archives_on_disk.error.empty()) {
    state.SkipWithError(archives_on_disk.error.c_str());
    return;
  }
  const fs::path destination = archives_on_disk.folder / "listini.mdb";
  for (auto _ : state) {
    state.PauseTiming();
    fs::copy_file(with_rules ? archives_on_disk.rules_template : archives_on_disk.destination_template, destination,
                  fs::copy_options::overwrite_existing);
    archives::WindowState window(engine::TextLocale::Italian());
    window.DataDestinazione.DatabaseName = engine::FromUtf8(destination.string());
    window.DataDestinazione.RecordSource = u"Articoli";
    window.DataDestinazione.Refresh();
    window.DataSorgente.DatabaseName = engine::FromUtf8(archives_on_disk.source.string());
    window.DataSorgente.RecordSource = u"Prodotti";
    window.DataSorgente.Refresh();
    Headless headless;
    state.ResumeTiming();

    const import::ImportResult result = import::RunImport(u"Importa", window, headless, headless);

    state.PauseTiming();
    window.DataDestinazione.Close();
    if (result.added != kRecords / 2 || result.already_present != kRecords / 2 || result.failed != 0) {
      state.SkipWithError(("unexpected counts; first failure: " + result.first_failure).c_str());
    }
    state.counters["added"] = static_cast<double>(result.added);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
void BM_ImportRun(benchmark::State& state) { RunImports(state, false); }
void BM_ImportRunWithRules(benchmark::State& state) { RunImports(state, true); }
BENCHMARK(BM_ImportRun)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_ImportRunWithRules)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
