// Jet reader speed on the full price list (listini-pieno.mdb, 5,000 articles):
// - decoding every column of 100,000 rows: the table's 5,000 rows visited 20 times over, as
//   one record set (no Jet writer exists yet to build a bigger file);
// - WHERE lookups by article code through the code index;
// - opening the file and reading every row once, each page fetched for the first time;
// - one column of fonte-decimali.mdb's 300 rows visited 300 times over: a decimal (18,4), a
//   decimal (28,6) and a currency column of the same rows, as values and as the text the
//   import writes; decimals should cost no more than currency.
// Run: build/bin/jet_read_bench [--benchmark_filter=...]; the fixtures folder comes from
// $ARCHIVI_FIXTURES or ../shared/fixtures beside the project.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "engine/jet/database/jet_database.h"
#include "engine/jet/database/jet_recordset.h"
#include "engine/jet/storage/pager.h"
#include "engine/jet/catalog/catalog.h"
#include "engine/jet/catalog/table_definition_reader.h"
#include "engine/jet/row/table_scan.h"

namespace {

// $ARCHIVI_FIXTURES, else ../shared/fixtures beside the project (the program sits in
// <project>/<build>/bin).
std::filesystem::path Fixture(const char* name) {
  namespace fs = std::filesystem;
  if (const char* dir = std::getenv("ARCHIVI_FIXTURES"); dir && *dir) return fs::path(dir) / name;
  const fs::path exe = fs::read_symlink("/proc/self/exe");
  return exe.parent_path() / ".." / ".." / ".." / "shared" / "fixtures" / name;
}

std::filesystem::path PriceList() { return Fixture("listini/listini-pieno.mdb"); }

// A table's live rows, each visited `rounds` times, as one record set.
struct RepeatedTable {
  RepeatedTable(const std::filesystem::path& file, const std::u16string& name, int rounds)
      : pager(engine::jet::Pager::Open(file, engine::OpenMode::ReadOnly)),
        text(pager->format().version, pager->header().code_page, pager->file_name()) {
    using namespace engine::jet;
    for (const auto& entry : ReadCatalog(*pager, text)) {
      if (entry.name == name) {
        table = std::make_shared<const TableDefinition>(ReadTableDefinition(*pager, text, entry.tdef_page, entry.name));
      }
    }
    const std::vector<RowId> once = ListLiveRows(*pager, *table);
    for (int i = 0; i < rounds; ++i) rows.insert(rows.end(), once.begin(), once.end());
  }
  std::unique_ptr<engine::jet::Pager> pager;
  engine::jet::TextDecoder text;
  std::shared_ptr<const engine::jet::TableDefinition> table;
  std::vector<engine::jet::RowId> rows;
};

void DecodeEveryColumn(benchmark::State& state) {
  RepeatedTable source(PriceList(), u"Articoli", 20);
  const std::vector<engine::jet::RowId>& rows = source.rows;
  engine::jet::JetRecordset records(*source.pager, source.table, source.text, rows);
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

void ReadOneColumn(benchmark::State& state, const char16_t* column, bool as_text) {
  RepeatedTable source(Fixture("regole/fonte-decimali.mdb"), u"Prodotti", 300);
  engine::jet::JetRecordset records(*source.pager, source.table, source.text, source.rows);
  const int position = records.FieldPosition(column);
  const engine::TextLocale italian = engine::TextLocale::Italian();
  for (auto _ : state) {
    size_t seen = 0;
    for (records.MoveFirst(); !records.Eof(); records.MoveNext()) {
      engine::Value value = records.GetValue(position);
      seen += as_text ? value.ToText(italian).size() : static_cast<size_t>(value.type());
    }
    benchmark::DoNotOptimize(seen);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(source.rows.size()));
}
BENCHMARK_CAPTURE(ReadOneColumn, currency, u"Costo", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReadOneColumn, decimal_18_4, u"Prezzo", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReadOneColumn, decimal_28_6, u"Peso", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReadOneColumn, currency_text, u"Costo", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReadOneColumn, decimal_18_4_text, u"Prezzo", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReadOneColumn, decimal_28_6_text, u"Peso", true)->Unit(benchmark::kMillisecond);

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
