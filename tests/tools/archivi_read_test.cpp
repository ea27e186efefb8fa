// The reading commands of the archivi tool, run as a program: tables, columns and dump.
#include <gtest/gtest.h>

#include "tests/support/files.h"
#include "tests/support/fixtures.h"

namespace {

using testsupport::Quoted;
using testsupport::RunArchivi;

TEST(ArchiviRead, TablesInNameOrderWithSystemTables) {
  REQUIRE_FIXTURES();
  int status = -1;
  const std::string out = RunArchivi("tables " + Quoted(testsupport::Listini("fonte.mdb")), &status);
  EXPECT_EQ(status, 0);
  // Letter case does not count in the order: MSysACEs comes after MSysAccessObjects.
  EXPECT_EQ(out,
            "Fornitori\nMSysAccessObjects\nMSysACEs\nMSysObjects\nMSysQueries\nMSysRelationships\n"
            "Prodotti\n");
}

TEST(ArchiviRead, ColumnsInColumnOrder) {
  REQUIRE_FIXTURES();
  int status = -1;
  const std::string out =
      RunArchivi("columns " + Quoted(testsupport::Listini("listini.mdb")) + " Articoli", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out,
            "IdArticolo\nCodice Articolo\nDescrizione\nDescrizione Catalogo\nPrezzo\nPrezzo 2\nCategoria\n"
            "Data Inserimento\nImmagine\n");
}

TEST(ArchiviRead, DumpMatchesTheReferenceDump) {
  REQUIRE_FIXTURES();
  int status = -1;
  const auto root = testsupport::FixturesDir();
  const std::string out = RunArchivi("dump " + Quoted(root / "listini/fonte.mdb") + " Prodotti", &status);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(out == testsupport::ReadText(root / "listini/expected/fonte.Prodotti.tsv")) << "the dump differs from fonte.Prodotti.tsv";
}

TEST(ArchiviRead, ProblemsGoToStderrWithTheFileAndAStatus) {
  REQUIRE_FIXTURES();
  int status = -1;
  const auto file = testsupport::Listini("fonte.mdb");
  std::string out = RunArchivi("dump " + Quoted(file) + " Nessuna", &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find(file.string()), std::string::npos) << out;
  EXPECT_NE(out.find("Nessuna"), std::string::npos) << out;
  out = RunArchivi("tables " + Quoted(testsupport::FixturesDir() / "jet/other/password-V2000.mdb"), &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("password"), std::string::npos) << out;
  RunArchivi("dump " + Quoted(file), &status);
  EXPECT_EQ(status, 2);
}

}  // namespace
