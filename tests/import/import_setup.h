// Two in-memory archives bound as the window binds them (source table "Prodotti", destination
// "Articoli" with the price list's layout) and a scripted window with the choices made.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "archives/data_binding.h"
#include "import/import_run.h"
#include "import/italian_texts.h"
#include "tests/support/memory_database.h"
#include "tests/support/scripted_window.h"

namespace testsupport {

inline std::vector<MemoryColumn> ArticoliColumns() {
  using Type = engine::Value::Type;
  return {
      {u"IdArticolo", Type::Integer, 0, true},
      {u"Codice Articolo", Type::Text, 50},
      {u"Descrizione", Type::Text, 50},
      {u"Descrizione Catalogo", Type::Text, 50},
      {u"Prezzo", Type::Currency},
      {u"Prezzo 2", Type::Currency},
      {u"Categoria", Type::Text, 50},
      {u"Data Inserimento", Type::Date},
      {u"Immagine", Type::Text, 255},
  };
}

// Source columns, in this order.
enum SourceColumn { kCodice, kNome, kPrezzo, kCategoria, kImmagine, kCatalogo, kListino };

inline std::vector<MemoryColumn> ProdottiColumns() {
  using Type = engine::Value::Type;
  return {
      {u"Codice", Type::Text},  {u"Nome", Type::Text},     {u"Prezzo", Type::Double},
      {u"Categoria", Type::Text}, {u"Immagine", Type::Text}, {u"Catalogo", Type::Text},
      {u"Listino", Type::Double},
  };
}

inline engine::Value T(std::u16string text) { return engine::Value::Text(std::move(text)); }

class ImportSetup {
 public:
  ImportSetup() : state(locale) {
    auto source_archive = std::make_unique<MemoryDatabase>(locale, "fonte.mdb");
    source = source_archive.get();
    source->AddTable(u"Prodotti", ProdottiColumns());
    state.DataSorgente.DatabaseName = u"fonte.mdb";
    state.DataSorgente.Attach(std::move(source_archive));

    auto destination_archive = std::make_unique<MemoryDatabase>(locale, "listini.mdb");
    destination = destination_archive.get();
    destination->AddTable(u"Articoli", ArticoliColumns());
    state.DataDestinazione.DatabaseName = u"listini.mdb";
    state.DataDestinazione.Attach(std::move(destination_archive));
    state.DataDestinazione.RecordSource = u"Articoli";
    state.DataDestinazione.Refresh();

    window.text1 = u"/archivi/fonte.mdb";
    window.combo2 = u"Prodotti";
    window.pickers[1] = u"Codice";
  }

  // A source record given by column (the others Null).
  void AddSource(std::vector<engine::Value> row) { source->AddRow(u"Prodotti", std::move(row)); }
  void AddSourceCodes(const std::vector<std::u16string>& codes) {
    for (const auto& code : codes) AddSource({T(code)});
  }
  // An article already in the destination, with its code at position 1.
  void AddArticle(std::u16string code) {
    destination->AddRow(u"Articoli", {engine::Value::Integer(destination->table(u"Articoli").next_number++), T(code)});
  }

  // Binds the source table as choosing it in Combo2 does, then presses the button.
  import::ImportResult Press(std::u16string_view key = import::kImportKey, const import::ReportPlace& report = {}) {
    state.DataSorgente.RecordSource = u"Prodotti";
    state.DataSorgente.Refresh();
    return import::RunImport(key, state, window, window, report);
  }

  const MemoryTable& articoli() { return destination->table(u"Articoli"); }
  std::vector<engine::Value> Stored(std::u16string_view column) { return articoli().Column(column); }
  std::vector<engine::Value> StoredAt(int position) {
    std::vector<engine::Value> values;
    for (const auto& row : articoli().rows) values.push_back(row[position]);
    return values;
  }

  engine::TextLocale locale = engine::TextLocale::Italian();
  archives::WindowState state;
  ScriptedWindow window;
  MemoryDatabase* source;
  MemoryDatabase* destination;
};

}  // namespace testsupport
