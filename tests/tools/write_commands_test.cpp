// `archivi insert`, `archivi exec` and `archivi check` as a shop's administrator uses them:
// rows from a dump-format file into a copy of the price list, refusals reported per line,
// DELETE *, and the check's exit status on a sound and on a damaged file.
#include <fstream>

#include <gtest/gtest.h>

#include "tests/support/fixtures.h"

namespace {

using testsupport::Quoted;
using testsupport::RunArchivi;

class WriteCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(testsupport::BinDir() / "archivi")) GTEST_SKIP() << "archivi is not built";
    REQUIRE_FIXTURES();
    file_ = dir_.Copy(testsupport::Listini("listini.mdb"));
  }
  testsupport::TempDir dir_;
  std::filesystem::path file_;
};

TEST_F(WriteCommands, InsertDumpFormatRowsThenDeleteAll) {
  const std::filesystem::path rows = dir_.path() / "rows.tsv";
  std::ofstream(rows) << "Codice Articolo\tPrezzo\tData Inserimento\tDescrizione\n"
                         "A-1\t12.3400\t2024-03-01T10:30:00\tcon\\ttab\n"
                         "b'2\t\\N\t\\N\tÈ greco: αβγ\n"
                         "C-3\tdodici\t\\N\t\\N\n"  // not an amount: refused
                         "D-4\t1\n";                // too few values: refused
  int status = -1;
  std::string output = RunArchivi("insert " + Quoted(file_) + " Articoli < " + Quoted(rows), &status);
  EXPECT_EQ(status, 1) << output;
  EXPECT_NE(output.find("line 4:"), std::string::npos) << output;
  EXPECT_NE(output.find("line 5:"), std::string::npos) << output;
  EXPECT_NE(output.find("2 rows added, 2 refused"), std::string::npos) << output;

  output = RunArchivi("check " + Quoted(file_), &status);
  EXPECT_EQ(status, 0) << output;
  output = RunArchivi("dump " + Quoted(file_) + " Articoli", &status);
  ASSERT_EQ(status, 0) << output;
  EXPECT_NE(output.find("1\tA-1\tcon\\ttab\t\\N\t12.3400\t\\N\t\\N\t2024-03-01T10:30:00\t\\N\n"), std::string::npos)
      << output;
  EXPECT_NE(output.find("2\tb'2\tÈ greco: αβγ\t"), std::string::npos) << output;

  output = RunArchivi("exec " + Quoted(file_) + " \"DELETE * From Articoli;\"", &status);
  EXPECT_EQ(status, 0) << output;
  output = RunArchivi("check " + Quoted(file_), &status);
  EXPECT_EQ(status, 0) << output;
  output = RunArchivi("dump " + Quoted(file_) + " Articoli", &status);
  EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;  // the header alone
}

TEST_F(WriteCommands, CheckFailsWithOneLinePerProblem) {
  // A file cut in the middle of a page.
  std::ofstream(file_, std::ios::app | std::ios::binary) << "xx";
  int status = -1;
  const std::string output = RunArchivi("check " + Quoted(file_), &status);
  EXPECT_EQ(status, 1) << output;
  EXPECT_NE(output.find("not a whole number of pages"), std::string::npos) << output;
}

TEST_F(WriteCommands, ExecRefusesOtherStatements) {
  int status = -1;
  const std::string output = RunArchivi("exec " + Quoted(file_) + " \"UPDATE Articoli SET Prezzo = 0\"", &status);
  EXPECT_EQ(status, 1) << output;
}

// On Access's own file, whose Table1 names rows of Table2 (cascading deletes) and of Table3
// (not cascading); in order, each step on what the one before left.
TEST_F(WriteCommands, RelationshipsAreAddedCheckedAndKept) {
  const std::filesystem::path file = dir_.Copy(testsupport::Fixture("jet/V2000/indexTestV2000.mdb"));
  struct Step {
    std::string arguments;  // after the command, the file first
    int status;
    std::string printed;
  };
  const Step steps[] = {
      {"check", 0, "ok:"},
      // Table1.otherfk2 holds 10 to 13, which Table2.id does not.
      {"relate # Broken Table1 otherfk2 Table2 id", 0, "relationship Broken added"},
      {"check", 1, "13 is not in the referenced table (relationship Broken)"},
      {"relate # Loose Table1 data Table2 data", 1, "no unique index on exactly the referenced columns"},
      {"exec # \"DELETE * From Table3;\"", 0, "1 rows deleted, 3 kept because rows of Table1 name them\n"},
      {"exec # \"DELETE * From Table2;\"", 0, "3 rows deleted; 4 rows of Table1 deleted with them\n"},
      {"check", 0, "ok:"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.arguments);
    std::string arguments = step.arguments;
    const size_t place = arguments.find('#');
    if (place == std::string::npos) {
      arguments += " " + Quoted(file);
    } else {
      arguments.replace(place, 1, Quoted(file));
    }
    int status = -1;
    const std::string output = RunArchivi(arguments, &status);
    EXPECT_EQ(status, step.status) << output;
    EXPECT_NE(output.find(step.printed), std::string::npos) << output;
  }
}

}  // namespace
