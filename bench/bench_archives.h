// What the import benchmarks share: the shared fixtures folder, and the two archives of the
// 100,000-record import written with our own engine into a temporary folder: the source
// (table "Prodotti" of a copy of fonte.mdb, refilled) and a 100,000-article copy of
// listini.mdb, which holds every even source code already and as many codes of its own; and,
// when asked, the same articles in an Access 97 price list the engine makes.
#pragma once

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/base/error.h"
#include "engine/database/database.h"
#include "engine/jet/create/database_creator.h"
#include "engine/open/open_database.h"

namespace bench {

namespace fs = std::filesystem;

// ARCHIVI_BENCH_RECORDS sets a smaller size for profiling.
inline int Records() {
  static const int records = [] {
    const char* env = std::getenv("ARCHIVI_BENCH_RECORDS");
    return env && std::atoi(env) > 0 ? std::atoi(env) : 100000;
  }();
  return records;
}

// $ARCHIVI_FIXTURES, else ../shared/fixtures beside the project (the program sits in
// PROJECT/build-x/bin), else beside the current folder.
inline fs::path FixturesDir() {
  if (const char* env = std::getenv("ARCHIVI_FIXTURES"); env && *env) return env;
  std::array<char, 4096> exe{};
  const ssize_t length = readlink("/proc/self/exe", exe.data(), exe.size() - 1);
  const fs::path beside_project = fs::path(std::string(exe.data(), length > 0 ? static_cast<size_t>(length) : 0))
                                      .parent_path() / ".." / ".." / ".." / "shared" / "fixtures";
  if (fs::is_directory(beside_project)) return beside_project;
  return fs::current_path() / ".." / "shared" / "fixtures";
}

inline std::u16string Numbered(const char* format, int n) {
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

inline void FillSourceRecord(engine::Recordset& r, int i) {
  using engine::Value;
  r.SetValue(u"Codice", Value::Text(Numbered("S-%06d", i)));
  r.SetValue(u"Nome", Value::Text(Numbered("Prodotto numero %d", i)));
  r.SetValue(u"Prezzo", Value::Double(i % 1000 + 0.25));
  r.SetValue(u"Categoria", Value::Text(Numbered("Reparto/%d", i % 50)));
  r.SetValue(u"Immagine", Value::Text(Numbered("C:\\immagini\\S-%06d.jpg", i)));
}

// Every even source code is there already; the other half are codes of its own.
inline void FillArticle(engine::Recordset& r, int i) {
  using engine::Value;
  r.SetValue(u"Codice Articolo", Value::Text(i % 2 == 0 ? Numbered("S-%06d", i) : Numbered("D-%06d", i)));
  r.SetValue(u"Descrizione", Value::Text(u"Articolo gia presente"));
  r.SetValue(u"Categoria", Value::Text(u"Listino"));
}

// Makes `file` an Access 97 price list holding `count` articles filled as FillArticle does.
// Returns the reason when the engine cannot write one (empty when it is made).
inline std::string MakeAccess97List(const fs::path& file, int count) {
  std::error_code ignored;
  fs::remove(file, ignored);
  try {
    engine::jet::CreateListiniDatabase(file, {0, engine::jet::JetVersion::Jet3});
  } catch (const engine::Error& error) {
    if (error.kind() != engine::ErrorKind::UnsupportedFormat) throw;
    return error.what();
  }
  Refill(file, u"Articoli", count, FillArticle);
  return "";
}

// The source column each picker takes: every slot is chosen, so each new article takes all
// seven columns.
inline const std::array<std::u16string, 7>& SourceColumns() {
  static const std::array<std::u16string, 7> columns{u"Categoria", u"Codice", u"Nome", u"Nome",
                                                     u"Prezzo",    u"Prezzo", u"Immagine"};
  return columns;
}

// A temporary folder holding the source and the 100,000-article destination, removed at the end.
struct ImportArchives {
  fs::path folder;
  fs::path source, destination_template;
  std::string error;

  explicit ImportArchives(const std::string& name) {
    const fs::path fixtures = FixturesDir() / "listini";
    if (!fs::is_directory(fixtures)) {
      error = "shared fixtures folder not found";
      return;
    }
    folder = fs::temp_directory_path() / (name + "-" + std::to_string(getpid()));
    fs::create_directories(folder);
    source = folder / "fonte.mdb";
    destination_template = folder / "listini-100000.mdb";
    fs::copy_file(fixtures / "fonte.mdb", source, fs::copy_options::overwrite_existing);
    fs::copy_file(fixtures / "listini.mdb", destination_template, fs::copy_options::overwrite_existing);
    Refill(source, u"Prodotti", Records(), FillSourceRecord);
    Refill(destination_template, u"Articoli", Records(), FillArticle);
  }
  ~ImportArchives() {
    std::error_code ignored;
    if (!folder.empty()) fs::remove_all(folder, ignored);
  }
  ImportArchives(const ImportArchives&) = delete;
  ImportArchives& operator=(const ImportArchives&) = delete;
};

}  // namespace bench
