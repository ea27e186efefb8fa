// The sample archives in samples/: made by the project's own code (sample_archives.h), they
// read back with the articles they were made from, the database passes the engine's check,
// and the committed copies hold what the code makes today.
// To remake the committed files: ARCHIVI_WRITE_SAMPLES=1 tools_tests --gtest_filter='SampleArchives.*'
#include <cstdlib>

#include <gtest/gtest.h>

#include "engine/database/database.h"
#include "tools/archivi/dump/dump_format.h"
#include "engine/open/open_database.h"
#include "tests/support/fixtures.h"
#include "tests/support/jet_check.h"
#include "tests/tools/sample_archives.h"

namespace {

const std::filesystem::path kSamplesDir = testsupport::SourceDir() / "samples";

std::unique_ptr<engine::Database> Open(const std::filesystem::path& path, std::u16string_view connect) {
  return engine::OpenDatabase(path, connect, engine::OpenMode::ReadOnly, engine::TextLocale::Italian());
}

std::string Dump(const std::filesystem::path& path, std::u16string_view connect, std::u16string_view table) {
  auto db = Open(path, connect);
  auto records = db->OpenRecordset(table);
  return engine::DumpRecordset(*records);
}

TEST(SampleArchives, SourceDatabaseHoldsTheArticlesAndPassesTheCheck) {
  testsupport::TempDir dir;
  const std::filesystem::path path = dir.path() / "fonte-esempio.mdb";
  testsupport::WriteSourceArchive(path);
  EXPECT_EQ(testsupport::CheckProblems(path), "");

  auto db = Open(path, u"");
  auto records = db->OpenRecordset(u"Select * From Prodotti;");
  int64_t id = 1;
  for (const testsupport::Article& a : testsupport::Articles()) {
    ASSERT_FALSE(records->Eof());
    EXPECT_EQ(records->GetValue(u"Id"), engine::Value::Integer(id++));
    EXPECT_EQ(records->GetValue(u"Codice"), engine::Value::Text(testsupport::U(a.code)));
    EXPECT_EQ(records->GetValue(u"Nome"), engine::Value::Text(testsupport::U(a.name)));
    EXPECT_EQ(records->GetValue(u"Prezzo"), engine::Value::Money({a.price_cents * 100}));
    EXPECT_EQ(records->GetValue(u"Categoria"), engine::Value::Text(testsupport::U(a.category)));
    EXPECT_EQ(records->GetValue(u"Disponibile"), engine::Value::Flag(a.available));
    records->MoveNext();
  }
  EXPECT_TRUE(records->Eof());
  // The code index answers the program's lookups.
  auto found = db->OpenRecordset(u"Select * From Prodotti where [Codice]='VER-0501';");
  ASSERT_FALSE(found->Eof());
  EXPECT_EQ(found->GetValue(u"Descrizione"), engine::Value::Text(u"Smalto all'acqua per legno e metallo"));
}

TEST(SampleArchives, WorkbookHoldsTheSameArticles) {
  testsupport::TempDir dir;
  const std::filesystem::path path = dir.path() / "listino-esempio.xls";
  testsupport::WriteWorkbook(path);
  auto db = Open(path, u"Excel 8.0;");
  auto records = db->OpenRecordset(u"Listino$");
  ASSERT_EQ(records->FieldCount(), 5);
  EXPECT_EQ(records->FieldName(0), u"Codice");
  for (const testsupport::Article& a : testsupport::Articles()) {
    ASSERT_FALSE(records->Eof());
    EXPECT_EQ(records->GetValue(u"Codice"), engine::Value::Text(testsupport::U(a.code)));
    EXPECT_EQ(records->GetValue(u"Prezzo"), engine::Value::Double(static_cast<double>(a.price_cents) / 100));
    EXPECT_EQ(records->GetValue(u"Categoria"), engine::Value::Text(testsupport::U(a.category)));
    records->MoveNext();
  }
  EXPECT_TRUE(records->Eof());
}

TEST(SampleArchives, CommittedSamplesAreWhatTheCodeMakes) {
  const std::filesystem::path mdb = kSamplesDir / "fonte-esempio.mdb";
  const std::filesystem::path xls = kSamplesDir / "listino-esempio.xls";
  if (std::getenv("ARCHIVI_WRITE_SAMPLES") != nullptr) {
    std::filesystem::remove(mdb);
    testsupport::WriteSourceArchive(mdb);
    testsupport::WriteWorkbook(xls);
  }
  ASSERT_TRUE(std::filesystem::exists(mdb)) << mdb;
  ASSERT_TRUE(std::filesystem::exists(xls)) << xls;
  testsupport::TempDir dir;
  testsupport::WriteSourceArchive(dir.path() / "fonte.mdb");
  testsupport::WriteWorkbook(dir.path() / "listino.xls");
  EXPECT_EQ(Dump(mdb, u"", u"Prodotti"), Dump(dir.path() / "fonte.mdb", u"", u"Prodotti"));
  EXPECT_EQ(Dump(xls, u"Excel 8.0;", u"Listino$"), Dump(dir.path() / "listino.xls", u"Excel 8.0;", u"Listino$"));
  EXPECT_EQ(testsupport::CheckProblems(mdb), "");
}

}  // namespace
