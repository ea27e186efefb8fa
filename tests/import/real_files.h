// What the import tests on real files share: the window bound to two files as start-up and
// the choices bind it, and a whole table read back as rows of values.
#pragma once

#include <array>
#include <limits>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "archives/data_binding.h"
#include "archives/handlers.h"
#include "engine/database/database.h"
#include "engine/jet/create/database_creator.h"
#include "engine/jet/database/jet_database.h"
#include "engine/open/open_database.h"
#include "engine/value/value.h"
#include "import/import_run.h"
#include "import/italian_texts.h"
#include "tests/support/fixtures.h"
#include "tests/support/scripted_window.h"

namespace testsupport {

using Pickers = std::array<std::u16string, 7>;

// The price list's "Articoli" bound at start-up, the source's `table` chosen in Combo2 and
// the pickers as given, in the Italian locale.
struct BoundFiles {
  BoundFiles(const std::filesystem::path& destination, const std::filesystem::path& source, std::u16string table,
             const Pickers& pickers, std::u16string_view connect = archives::kAccessConnect)
      : state(engine::TextLocale::Italian()) {
    state.DataDestinazione.DatabaseName = engine::FromUtf8(destination.string());
    state.DataDestinazione.RecordSource = archives::kDestinationTable;
    state.DataDestinazione.Refresh();
    state.DataSorgente.DatabaseName = engine::FromUtf8(source.string());
    state.DataSorgente.Connect = connect;
    state.DataSorgente.RecordSource = table;
    state.DataSorgente.Refresh();
    window.text1 = state.DataSorgente.DatabaseName;
    window.combo2 = std::move(table);
    window.pickers = pickers;
  }

  // Presses Importa, the purge question answered as given; the window's messages are then
  // this run's alone.
  import::ImportResult Press(int purge_answer = archives::kAnswerNo, const import::ReportPlace& report = {}) {
    window.answers = {purge_answer};
    window.messages.clear();
    return import::RunImport(import::kImportKey, state, window, window, report);
  }

  archives::WindowState state;
  ScriptedWindow window;
};

// A source made here, every value of it one the price list may refuse: text prices, numbers
// no amount holds, an image path longer than the column, a date past Jet's last year.
inline void WriteAwkwardSource(const std::filesystem::path& path) {
  using engine::jet::ColumnType;
  using engine::Value;
  engine::jet::TableSpec spec;
  spec.name = u"Prodotti";
  spec.columns = {{u"Codice", ColumnType::Text}, {u"Prezzo", ColumnType::Text},
                  {u"Listino", ColumnType::Double}, {u"Immagine", ColumnType::Memo},
                  {u"Data", ColumnType::DateTime}};
  engine::jet::CreateDatabase(path, {spec});
  auto database = engine::jet::OpenJetDatabase(path, engine::OpenMode::ReadWrite, engine::TextLocale::Italian());
  auto records = database->OpenRecordset(u"Prodotti");
  const auto T = [](std::u16string text) { return Value::Text(std::move(text)); };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<std::vector<Value>> rows = {
      {T(u"A1"), T(u"dodici"), Value::Double(7.5), T(u"img\\a1.jpg"), Value()},
      {T(u"A2"), T(u"1e400"), Value::Double(nan), T(std::u16string(300, u'p')), Value::DateTime({3e6})},
      {T(u"A3"), T(u"12,50"), Value::Double(1e300), T(std::u16string(200, u'i')), Value()},
      {T(u"A4"), Value(), Value(), Value(), Value()},
  };
  for (const auto& row : rows) {
    records->AddNew();
    for (int i = 0; i < static_cast<int>(row.size()); ++i) records->SetValue(i, row[i]);
    records->Update();
  }
  database->Commit();
}

inline std::vector<std::vector<engine::Value>> ReadTable(const std::filesystem::path& file, std::u16string_view table,
                                                          const engine::TextLocale& locale) {
  auto database = engine::OpenDatabase(file, u"Access 2000;", engine::OpenMode::ReadOnly, locale);
  auto records = database->OpenRecordset(table);
  std::vector<std::vector<engine::Value>> rows;
  for (; !records->Eof(); records->MoveNext()) {
    std::vector<engine::Value> row;
    for (int i = 0; i < records->FieldCount(); ++i) row.push_back(records->GetValue(i));
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace testsupport
