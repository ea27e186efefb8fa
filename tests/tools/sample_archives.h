// The sample archives kept in samples/ for a first try of the program: a source database
// (fonte-esempio.mdb, table "Prodotti") and a workbook (listino-esempio.xls, sheet
// "Listino") holding the same few dozen articles of a hardware shop. Both are made by the
// project's own code: the database by the engine's creator and writer, the workbook by the
// tests' BIFF8 writer (tests/support/xls_writer.h).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "engine/database/database.h"
#include "engine/jet/create/database_creator.h"
#include "engine/jet/database/jet_database.h"
#include "tests/support/xls_writer.h"

namespace testsupport {

struct Article {
  const char* code;
  const char* name;
  const char* description;
  int64_t price_cents;
  const char* category;
  bool available;
};

inline const std::vector<Article>& Articles() {
  static const std::vector<Article> articles = {
      {"FER-0001", "Martello da carpentiere", "Martello 500 g, manico in legno", 1290, "Ferramenta", true},
      {"FER-0002", "Cacciavite a taglio 5 mm", "Cacciavite con impugnatura bimateriale", 350, "Ferramenta", true},
      {"FER-0003", "Cacciavite a croce PH2", "Cacciavite Phillips, lama cromata", 390, "Ferramenta", true},
      {"FER-0004", "Pinza universale 180 mm", "Pinza in acciaio al cromo-vanadio", 1150, "Ferramenta", true},
      {"FER-0005", "Chiave inglese 250 mm", "Chiave regolabile, apertura 30 mm", 1490, "Ferramenta", false},
      {"FER-0006", "Metro a nastro 5 m", "Flessometro con blocco e gancio magnetico", 690, "Ferramenta", true},
      {"FER-0007", "Livella 60 cm", "Livella in alluminio, tre bolle", 1590, "Ferramenta", true},
      {"FER-0008", "Seghetto per metalli", "Archetto con lama da 300 mm", 990, "Ferramenta", true},
      {"VIT-0101", "Viti legno 4x40 (200 pz)", "Viti truciolari testa svasata, zincate", 590, "Viteria", true},
      {"VIT-0102", "Viti legno 5x60 (100 pz)", "Viti truciolari testa svasata, zincate", 640, "Viteria", true},
      {"VIT-0103", "Tasselli nylon 8 mm (50 pz)", "Tasselli universali con vite", 450, "Viteria", true},
      {"VIT-0104", "Rondelle piane M6 (100 pz)", "Rondelle in acciaio zincato", 280, "Viteria", true},
      {"VIT-0105", "Dadi autobloccanti M8 (50 pz)", "Dadi con inserto in nylon", 370, "Viteria", false},
      {"ELE-0201", "Lampadina LED E27 10 W", "Luce calda 2700 K, 1055 lumen", 450, "Elettricità", true},
      {"ELE-0202", "Lampadina LED GU10 5 W", "Luce naturale 4000 K", 320, "Elettricità", true},
      {"ELE-0203", "Prolunga 5 m 3 prese", "Cavo H05VV-F 3G1,5 con interruttore", 1390, "Elettricità", true},
      {"ELE-0204", "Nastro isolante nero", "Nastro in PVC 19 mm x 25 m", 180, "Elettricità", true},
      {"ELE-0205", "Interruttore unipolare", "Serie civile, 10 A, bianco", 490, "Elettricità", true},
      {"ELE-0206", "Presa Schuko", "Serie civile, 16 A, bianco", 590, "Elettricità", false},
      {"IDR-0301", "Rubinetto a sfera 1/2\"", "Ottone nichelato, leva rossa", 890, "Idraulica", true},
      {"IDR-0302", "Nastro in teflon", "Rotolo 12 mm x 12 m per raccordi", 120, "Idraulica", true},
      {"IDR-0303", "Sifone per lavello", "Sifone in polipropilene 1\"1/2", 790, "Idraulica", true},
      {"IDR-0304", "Flessibile inox 40 cm", "Tubo flessibile F/F 1/2\"", 560, "Idraulica", true},
      {"GIA-0401", "Tubo da giardino 25 m", "Tubo retinato 15 mm antitorsione", 2490, "Giardinaggio", true},
      {"GIA-0402", "Forbici da potatura", "Lame in acciaio temprato, taglio 20 mm", 1690, "Giardinaggio", true},
      {"GIA-0403", "Terriccio universale 50 l", "Con concime, per piante da vaso e orto", 790, "Giardinaggio", true},
      {"GIA-0404", "Guanti da giardino", "Taglia 9, palmo in lattice", 350, "Giardinaggio", true},
      {"GIA-0405", "Innaffiatoio 10 l", "In plastica con diffusore", 890, "Giardinaggio", false},
      {"VER-0501", "Smalto bianco lucido 750 ml", "Smalto all'acqua per legno e metallo", 1290, "Vernici", true},
      {"VER-0502", "Pennello piatto 50 mm", "Setole sintetiche per smalti", 390, "Vernici", true},
      {"VER-0503", "Rullo 23 cm", "Rullo in microfibra con manico", 690, "Vernici", true},
      {"VER-0504", "Nastro di carta 38 mm", "Nastro per mascheratura, 50 m", 260, "Vernici", true},
      {"VER-0505", "Idropittura traspirante 14 l", "Per interni, bianco opaco", 3990, "Vernici", true},
      {"VER-0506", "Diluente nitro 1 l", "Per la pulizia degli attrezzi", 550, "Vernici", false},
      {"UTE-0601", "Trapano avvitatore 18 V", "Due batterie, valigetta inclusa", 8990, "Utensili elettrici", true},
      {"UTE-0602", "Smerigliatrice 115 mm", "Potenza 750 W, disco incluso", 4590, "Utensili elettrici", true},
  };
  return articles;
}

inline std::u16string U(const std::string& text) { return engine::FromUtf8(text); }
inline std::string ImagePath(const Article& a) { return std::string("immagini\\") + a.code + ".jpg"; }
// Updated on 2 December 2026, 09:00.
inline constexpr double kUpdatedDays = 46358.375;

// The source database: table "Prodotti", its codes indexed as a supplier's archive would be.
inline void WriteSourceArchive(const std::filesystem::path& path) {
  using engine::jet::ColumnSpec;
  using engine::jet::ColumnType;
  engine::jet::TableSpec spec;
  spec.name = u"Prodotti";
  ColumnSpec id{u"Id", ColumnType::Long};
  id.autonumber = true;
  spec.columns = {id,
                  {u"Codice", ColumnType::Text, 20},
                  {u"Nome", ColumnType::Text, 50},
                  {u"Descrizione", ColumnType::Text, 100},
                  {u"Prezzo", ColumnType::Money},
                  {u"Categoria", ColumnType::Text, 30},
                  {u"Immagine", ColumnType::Text, 100},
                  {u"Disponibile", ColumnType::Boolean},
                  {u"Aggiornato", ColumnType::DateTime}};
  engine::jet::IndexSpec primary{u"PrimaryKey", {{u"Id", true}}, true};
  engine::jet::IndexSpec code{u"Codice", {{u"Codice", true}}};
  spec.indexes = {primary, code};
  engine::jet::NewDatabaseOptions options;
  options.creation_days = kUpdatedDays;
  engine::jet::CreateDatabase(path, {spec}, options);

  auto db = engine::jet::OpenJetDatabase(path, engine::OpenMode::ReadWrite, engine::TextLocale::Italian());
  auto records = db->OpenRecordset(u"Prodotti");
  for (const Article& a : Articles()) {
    records->AddNew();
    records->SetValue(u"Codice", engine::Value::Text(U(a.code)));
    records->SetValue(u"Nome", engine::Value::Text(U(a.name)));
    records->SetValue(u"Descrizione", engine::Value::Text(U(a.description)));
    records->SetValue(u"Prezzo", engine::Value::Money({a.price_cents * 100}));
    records->SetValue(u"Categoria", engine::Value::Text(U(a.category)));
    records->SetValue(u"Immagine", engine::Value::Text(U(ImagePath(a))));
    records->SetValue(u"Disponibile", engine::Value::Flag(a.available));
    records->SetValue(u"Aggiornato", engine::Value::DateTime({kUpdatedDays}));
    records->Update();
  }
  db->Commit();
}

// The workbook: a header row, then one article a row (prices as numbers).
inline void WriteWorkbook(const std::filesystem::path& path) {
  testsupport::WorkbookWriter book;
  const size_t sheet = book.AddSheet(u"Listino");
  const char16_t* headers[] = {u"Codice", u"Descrizione", u"Prezzo", u"Categoria", u"Immagine"};
  for (int col = 0; col < 5; ++col) book.Text(sheet, 0, col, headers[col]);
  int row = 1;
  for (const Article& a : Articles()) {
    book.Text(sheet, row, 0, U(a.code));
    book.Text(sheet, row, 1, U(a.name));
    book.Number(sheet, row, 2, static_cast<double>(a.price_cents) / 100);
    book.Text(sheet, row, 3, U(a.category));
    book.Text(sheet, row, 4, U(ImagePath(a)));
    ++row;
  }
  book.Save(path);
}

}  // namespace testsupport
