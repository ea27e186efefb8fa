// What the import tests on real files share: the window bound to two files as start-up and
// the choices bind it, and a whole table read back as rows of values.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "archives/data_binding.h"
#include "archives/handlers.h"
#include "engine/database.h"
#include "engine/open/open_database.h"
#include "engine/value.h"
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
             const Pickers& pickers)
      : state(engine::TextLocale::Italian()) {
    state.DataDestinazione.DatabaseName = engine::FromUtf8(destination.string());
    state.DataDestinazione.RecordSource = archives::kDestinationTable;
    state.DataDestinazione.Refresh();
    state.DataSorgente.DatabaseName = engine::FromUtf8(source.string());
    state.DataSorgente.RecordSource = table;
    state.DataSorgente.Refresh();
    window.text1 = state.DataSorgente.DatabaseName;
    window.combo2 = std::move(table);
    window.pickers = pickers;
  }

  // Presses Importa, the purge question answered as given; the window's messages are then
  // this run's alone.
  import::ImportResult Press(int purge_answer = archives::kAnswerNo) {
    window.answers = {purge_answer};
    window.messages.clear();
    return import::RunImport(import::kImportKey, state, window, window);
  }

  archives::WindowState state;
  ScriptedWindow window;
};

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
