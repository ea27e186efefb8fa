// Created databases filled by the engine's writer: thousands of rows must leave files that the
// engine's checker, our reader, mdbtools and mdb-reader all accept, with every index in step.
#include <gtest/gtest.h>

#include "engine/jet/create/database_creator.h"
#include "engine/jet/database/jet_database.h"
#include "tests/engine/jet/create/create_test_support.h"

namespace {

using namespace testsupport;
using engine::jet::ColumnSpec;
using engine::jet::IndexSpec;
using engine::jet::TableSpec;

std::u16string U(const std::string& text) { return engine::FromUtf8(text); }

// The integrity checks, and the row counts of the two outside readers.
void ExpectSoundWithRows(const std::filesystem::path& path, const char* table, size_t rows) {
  EXPECT_EQ(CheckDatabase(path), std::vector<std::string>{});
  int status = 0;
  const std::string count =
      testsupport::RunCommand("mdb-export -b hex '" + path.string() + "' '" + table + "' | wc -l", &status);
  EXPECT_EQ(count, std::to_string(rows + 1) + "\n");
  const std::optional<std::string> dump = testsupport::MdbReaderDump(path, table);
  if (dump) {
    EXPECT_EQ(static_cast<size_t>(std::count(dump->begin(), dump->end(), '\n')), rows + 1);
  } else if (testsupport::RunningInCi()) {
    ADD_FAILURE() << "mdb-reader is not installed";
  }
}

TEST(CreatedDatabaseRows, ThousandsOfArticlesIntoANewListini) {
  testsupport::TempDir dir;
  const std::filesystem::path path = dir.path() / "listini.mdb";
  engine::jet::CreateListiniDatabase(path);
  constexpr int kRows = 3000;
  {
    auto db = engine::jet::OpenJetDatabase(path, engine::OpenMode::ReadWrite, engine::TextLocale::Italian());
    auto records = db->OpenRecordset(u"Articoli");
    for (int i = 0; i < kRows; ++i) {
      records->AddNew();
      // Codes repeat every 700 rows and some differ only in case: the non-unique index
      // holds runs of equal keys. Every 50th row has no code at all.
      const std::string code = (i % 2 ? "ART-" : "art-") + std::to_string(i % 700);
      records->SetValue(u"Codice Articolo", i % 50 == 0 ? Value::Null() : Value::Text(U(code)));
      records->SetValue(u"Descrizione", Value::Text(U("Articolo numero " + std::to_string(i) + " caffè")));
      records->SetValue(u"Prezzo", Value::Money({int64_t{i} * 12345}));
      records->SetValue(u"Categoria", Value::Text(U("Categoria " + std::to_string(i % 37))));
      records->SetValue(u"Data Inserimento", Value::DateTime({45000.0 + i / 10.0}));
      records->SetValue(u"Immagine", Value::Text(U("C:\\immagini\\" + std::to_string(i) + ".jpg")));
      records->Update();
    }
    db->Commit();
  }
  ExpectSoundWithRows(path, "Articoli", kRows);

  OpenedDatabase read(path);
  const TableDefinition table = read.Table(u"Articoli");
  EXPECT_EQ(table.row_count, static_cast<uint32_t>(kRows));
  EXPECT_EQ(table.autonumber, static_cast<uint32_t>(kRows));
  const std::vector<std::vector<Value>> rows = read.Rows(table);
  ASSERT_EQ(rows.size(), static_cast<size_t>(kRows));
  // Autonumbers 1..n in insertion order; the values come back as written.
  for (int i = 0; i < kRows; i += 499) {
    EXPECT_EQ(rows[i][0], Value::Integer(i + 1));
    EXPECT_EQ(rows[i][2], Value::Text(U("Articolo numero " + std::to_string(i) + " caffè")));
    EXPECT_EQ(rows[i][4], Value::Money({int64_t{i} * 12345}));
  }
}

TEST(CreatedDatabaseRows, RowsWithLongValuesIntoATableWithEveryIndexKind) {
  testsupport::TempDir dir;
  const std::filesystem::path path = dir.path() / "tipi.mdb";
  TableSpec spec;
  spec.name = u"Misto";
  ColumnSpec id{u"Id", ColumnType::Long};
  id.autonumber = true;
  spec.columns = {id, {u"Attivo", ColumnType::Boolean}, {u"Quanti", ColumnType::Integer},
                  {u"Valore", ColumnType::Double}, {u"Quando", ColumnType::DateTime},
                  {u"Nome", ColumnType::Text, 100}, {u"Note", ColumnType::Memo},
                  {u"Dati", ColumnType::Binary, 50}};
  IndexSpec primary{u"PrimaryKey", {{u"Id", true}}, true};
  IndexSpec several{u"Quanti e nome", {{u"Quanti", false}, {u"Nome", true}}};
  IndexSpec ignore{u"Valore", {{u"Valore", true}}};
  ignore.ignore_nulls = true;
  IndexSpec unique{u"Nome unico", {{u"Nome", true}}};
  unique.unique = true;
  spec.indexes = {primary, several, ignore, unique};
  engine::jet::CreateDatabase(path, {spec});

  constexpr int kRows = 1500;
  {
    auto db = engine::jet::OpenJetDatabase(path, engine::OpenMode::ReadWrite, engine::TextLocale::English());
    auto records = db->OpenRecordset(u"Misto");
    for (int i = 0; i < kRows; ++i) {
      records->AddNew();
      records->SetValue(u"Attivo", Value::Flag(i % 3 == 0));
      records->SetValue(u"Quanti", Value::Integer(i % 40 - 20));
      records->SetValue(u"Valore", i % 4 == 0 ? Value::Null() : Value::Double(i * 0.25 - 100));
      records->SetValue(u"Quando", Value::DateTime({-10.5 + i}));
      records->SetValue(u"Nome", Value::Text(U("Nome " + std::to_string(i))));
      // Short memos stay in the row; every 10th is long enough for a long-value page.
      records->SetValue(u"Note", Value::Text(std::u16string(i % 10 == 0 ? 3000 : 20, static_cast<char16_t>(u'a' + i % 26))));
      records->SetValue(u"Dati", Value::Bytes(engine::BinaryData(i % 50, static_cast<uint8_t>(i))));
      records->Update();
    }
    db->Commit();
  }
  ExpectSoundWithRows(path, "Misto", kRows);
  OpenedDatabase read(path);
  const std::vector<std::vector<Value>> rows = read.Rows(read.Table(u"Misto"));
  ASSERT_EQ(rows.size(), static_cast<size_t>(kRows));
  EXPECT_EQ(rows[20][6], Value::Text(std::u16string(3000, u'a' + 20)));
  EXPECT_EQ(rows[21][6], Value::Text(std::u16string(20, u'a' + 21)));
  EXPECT_EQ(rows[4][3], Value::Null());
}

}  // namespace
