// Speed of index key encoding: an import looks up one key per source record, so text keys
// must come well above 100,000 per second. Reports keys per second (items_per_second).

#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "engine/jet/index/sort_key.h"
#include "engine/text/code_page.h"

namespace {

using engine::Value;
using namespace engine::jet;

// Article codes and descriptions as a price list holds them.
std::vector<std::u16string> ArticleTexts() {
  return {u"VITE TE M6X20 ZN",
          u"A-1234/56",
          u"Rondella piana Ø 8 inox A2",
          u"Guarnizione O'Ring 12x2 NBR",
          u"CAVO FROR 3G1,5 MT.100",
          u"Interruttore magnetotermico 1P+N 16A 4,5kA",
          u"Tassello nylon 8x40 con vite truciolare",
          u"Süßwarenkühlschrank – Edelstahl, 230 V",
          u"PRZ-00017",
          u"Lampada LED E27 10W 3000K luce calda"};
}

void BM_TextKeyAscending(benchmark::State& state) {
  const auto texts = ArticleTexts();
  std::string key;
  size_t i = 0;
  for (auto _ : state) {
    key.clear();
    AppendTextKey(texts[i], true, &key);
    benchmark::DoNotOptimize(key.data());
    if (++i == texts.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TextKeyAscending);

void BM_TextKeyDescending(benchmark::State& state) {
  const auto texts = ArticleTexts();
  std::string key;
  size_t i = 0;
  for (auto _ : state) {
    key.clear();
    AppendTextKey(texts[i], false, &key);
    benchmark::DoNotOptimize(key.data());
    if (++i == texts.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TextKeyDescending);

// The same texts as an Access 97 price list keys them: through its code page (1252) and
// Access 97's order. A Jet 3 import makes one such key per record, as a Jet 4 one does.
void BM_Jet3TextKeyAscending(benchmark::State& state) {
  const auto texts = ArticleTexts();
  const char16_t* western = engine::UpperHalfOf(1252);
  std::string key;
  size_t i = 0;
  for (auto _ : state) {
    key.clear();
    AppendJet3TextKey(texts[i], western, true, &key);
    benchmark::DoNotOptimize(key.data());
    if (++i == texts.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Jet3TextKeyAscending);

// The longest text that counts: 255 characters of mixed letters and accents.
void BM_TextKey255(benchmark::State& state) {
  std::u16string text;
  while (text.size() < 300) text += u"Àbc déf-ghi ";
  std::string key;
  for (auto _ : state) {
    key.clear();
    AppendTextKey(text, true, &key);
    benchmark::DoNotOptimize(key.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TextKey255);

// A whole entry key of a two-column index (code ascending, price descending), buffer reused.
void BM_IndexKeyTextAndMoney(benchmark::State& state) {
  TableDefinition table;
  table.columns.resize(2);
  table.columns[0].type = ColumnType::Text;
  table.columns[0].number = 0;
  table.columns[1].type = ColumnType::Money;
  table.columns[1].number = 1;
  RealIndex index;
  index.columns = {{0, true}, {1, false}};
  std::vector<Value> row = {Value::Text(u"Interruttore 1P+N 16A"), Value::Money({123450})};
  std::string key;
  for (auto _ : state) {
    EncodeIndexKey(table, index, row, &key);
    benchmark::DoNotOptimize(key.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IndexKeyTextAndMoney);

}  // namespace

BENCHMARK_MAIN();
