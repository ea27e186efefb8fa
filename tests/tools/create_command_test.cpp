// `archivi create FILE`: the file the program starts with when there is no listini.mdb.
#include <fstream>

#include <gtest/gtest.h>

#include "tests/support/files.h"
#include "tests/support/fixtures.h"

namespace {

using testsupport::Quoted;
using testsupport::RunArchivi;

class CreateCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(testsupport::BinDir() / "archivi")) GTEST_SKIP() << "archivi is not built";
  }
  testsupport::TempDir dir_;
};

TEST_F(CreateCommand, MakesAListiniThatPassesTheChecksAndHoldsArticoli) {
  const std::filesystem::path file = dir_.path() / "listini.mdb";
  int status = -1;
  const std::string output = RunArchivi("create " + Quoted(file), &status);
  ASSERT_EQ(status, 0) << output;
  ASSERT_TRUE(std::filesystem::exists(file));

  const std::string check = RunArchivi("check " + Quoted(file), &status);
  EXPECT_EQ(status, 0) << check;
  const std::string tables = RunArchivi("tables " + Quoted(file), &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(tables.find("Articoli"), std::string::npos) << tables;
  const std::string columns = RunArchivi("columns " + Quoted(file) + " Articoli", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(columns.substr(0, columns.find("Prezzo")), "IdArticolo\nCodice Articolo\nDescrizione\nDescrizione Catalogo\n")
      << columns;

  // mdbtools sees the same table, empty, with its three indexes.
  const std::string schema = testsupport::RunCommand("mdb-schema " + Quoted(file) + " mysql 2>/dev/null", &status);
  EXPECT_EQ(status, 0);
  for (const char* expected : {"ADD PRIMARY KEY (`IdArticolo`)", "ADD INDEX `Codice Articolo` (`Codice Articolo`)",
                               "ADD INDEX `Categoria` (`Categoria`)", "`Immagine`\t\t\tvarchar (255)"}) {
    EXPECT_NE(schema.find(expected), std::string::npos) << expected << "\n" << schema;
  }
}

TEST_F(CreateCommand, RefusesToOverwriteAnExistingFile) {
  const std::filesystem::path file = dir_.path() / "listini.mdb";
  {
    std::ofstream out(file);
    out << "not a database, but mine";
  }
  int status = -1;
  const std::string output = RunArchivi("create " + Quoted(file), &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(output.find("already exists"), std::string::npos) << output;
  EXPECT_EQ(testsupport::ReadText(file), "not a database, but mine");
}

TEST_F(CreateCommand, NeedsExactlyOneFile) {
  int status = -1;
  RunArchivi("create", &status);
  EXPECT_EQ(status, 2);
  RunArchivi("create a.mdb b.mdb", &status);
  EXPECT_EQ(status, 2);
  EXPECT_FALSE(std::filesystem::exists("a.mdb"));
}

}  // namespace
