// Jet reader speed on the full price list (listini-pieno.mdb, 5,000 articles):
// - decoding every column of 100,000 rows: the table's 5,000 rows visited 20 times over, as
//   one record set (no Jet writer exists yet to build a bigger file);
// - WHERE lookups by article code through the code index;
// - opening the file and reading every row once, each page fetched for the first time.
// Run: build/bin/jet_read_bench [--benchmark_filter=...]; the fixtures folder comes from
// $ARCHIVI_FIXTURES or ../shared/fixtures beside the project.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "engine/jet/jet_database.h"
#include "engine/jet/jet_recordset.h"
#include "engine/jet/pager.h"
#include "engine/jet/catalog.h"
#include "engine/jet/table_definition_reader.h"
#include "engine/jet/table_scan.h"

namespace {

// $ARCHIVI_FIXTURES, else ../shared/fixtures beside the project (the program sits in
// <project>/<build>/bin).
std::filesystem::path PriceList() {
  namespace fs = std::filesystem;
  if (const char* dir = std::getenv("ARCHIVI_FIXTURES"); dir && *dir) return fs::path(dir) / "listini/listini-pieno.mdb";
  const fs::path exe = fs::read_symlink("/proc/self/exe");
  return exe.parent_path() / ".." / ".." / ".." / "shared" / "fixtures" / "listini" / "listini-pieno.mdb";
}

void DecodeEveryColumn(benchmark::State& state) {
  using namespace engine::jet;
  auto pager = Pager::Open(PriceList(), engine::OpenMode::ReadOnly);
  TextDecoder text(pager->format().version, pager->header().code_page, pager->file_name());
  std::shared_ptr<const TableDefinition> table;
  for (const auto& entry : ReadCatalog(*pager, text)) {
    if (entry.name == u"Articoli") {
      table = std::make_shared<const TableDefinition>(ReadTableDefinition(*pager, text, entry.tdef_page, entry.name));
    }
  }
  const std::vector<RowId> once = ListLiveRows(*pager, *table);
  std::vector<RowId> rows;
  for (int i = 0; i < 20; ++i) rows.insert(rows.end(), once.begin(), once.end());
  JetRecordset records(*pager, table, text, rows);
  const int fields = records.FieldCount();
  for (auto _ : state) {
    size_t text_chars = 0;
    for (records.MoveFirst(); !records.Eof(); records.MoveNext()) {
      for (int i = 0; i < fields; ++i) {
        engine::Value value = records.GetValue(i);
        if (value.type() == engine::Value::Type::Text) text_chars += value.text().size();
      }
    }
    benchmark::DoNotOptimize(text_chars);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(rows.size()));
  state.counters["rows"] = static_cast<double>(rows.size());
}
BENCHMARK(DecodeEveryColumn)->Unit(benchmark::kMillisecond);

void LookupByCode(benchmark::State& state) {
  auto database = engine::jet::OpenJetDatabase(PriceList(), engine::OpenMode::ReadOnly, engine::TextLocale::Italian());
  std::vector<std::u16string> statements;
  {
    auto all = database->OpenRecordset(u"Articoli");
    for (all->MoveFirst(); !all->Eof(); all->MoveNext()) {
      const auto code = all->GetValue(1);
      if (code.is_null() || code.text().find(u'\'') != std::u16string::npos) continue;
      statements.push_back(u"Select * From Articoli where [Codice Articolo]='" + code.text() + u"';");
    }
  }
  size_t next = 0;
  long found = 0;
  for (auto _ : state) {
    auto records = database->OpenRecordset(statements[next]);
    found += records->RecordCount();
    next = (next + 1) % statements.size();
  }
  benchmark::DoNotOptimize(found);
  state.SetItemsProcessed(state.iterations());
}
void OpenAndReadOnce(benchmark::State& state) {
  long rows = 0;
  for (auto _ : state) {
    auto database = engine::jet::OpenJetDatabase(PriceList(), engine::OpenMode::ReadOnly, engine::TextLocale::Italian());
    auto records = database->OpenRecordset(u"Articoli");
    const int fields = records->FieldCount();
    size_t text_chars = 0;
    for (records->MoveFirst(); !records->Eof(); records->MoveNext(), ++rows) {
      for (int i = 0; i < fields; ++i) {
        engine::Value value = records->GetValue(i);
        if (value.type() == engine::Value::Type::Text) text_chars += value.text().size();
      }
    }
    benchmark::DoNotOptimize(text_chars);
  }
  state.SetItemsProcessed(rows);
}
BENCHMARK(OpenAndReadOnce)->Unit(benchmark::kMillisecond);

BENCHMARK(LookupByCode)->Iterations(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
