// `archivi import` into a price list whose columns have their own defaults and rules: the
// decimal source archive into a copy of listini-proprieta.mdb, as a shop would run it. The
// counts, the closing message with the first refusal, and the table afterwards, row by row.
#include <gtest/gtest.h>

#include <ctime>

#include "engine/value.h"
#include "import/italian_texts.h"
#include "tests/support/files.h"
#include "tests/support/fixtures.h"

namespace {

namespace fs = std::filesystem;

using testsupport::Quoted;
using testsupport::RunArchivi;
using testsupport::SplitLines;

std::string Today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%dT00:00:00", &local);
  return buffer;
}

// The expected table with the run's own day in "Data Inserimento" of the added articles
// (those numbered after the file's 200).
std::vector<std::string> ExpectedArticles(const fs::path& file) {
  std::vector<std::string> lines = SplitLines(testsupport::ReadText(file));
  const std::string today = Today();
  size_t date_column = 0;
  for (size_t start = 0, column = 0; start != std::string::npos; ++column) {
    const size_t tab = lines[0].find('\t', start);
    if (lines[0].substr(start, tab - start) == "Data Inserimento") date_column = column;
    start = tab == std::string::npos ? tab : tab + 1;
  }
  for (size_t i = 1; i < lines.size(); ++i) {
    if (std::stol(lines[i]) <= 200) continue;
    size_t start = 0;
    for (size_t column = 0; column < date_column; ++column) start = lines[i].find('\t', start) + 1;
    lines[i].replace(start, lines[i].find('\t', start) - start, today);
  }
  return lines;
}

TEST(ImportWithFieldProperties, DecimalSourceIntoThePriceListWithRules) {
  REQUIRE_FIXTURES();
  if (!fs::exists(testsupport::BinDir() / "archivi")) GTEST_SKIP() << "archivi is not built";
  const fs::path regole = testsupport::FixturesDir() / "regole";
  testsupport::TempDir dir;
  const fs::path destination = dir.Copy(regole / "listini-proprieta.mdb");

  int status = -1;
  const std::string output =
      RunArchivi("import " + Quoted(destination) + " " + Quoted(regole / "fonte-decimali.mdb") +
                  " Prodotti --slot 0=Categoria --slot 1=Codice --slot 2=Nome --slot 4=Prezzo --slot 5=Sconto --purge no",
              &status, "2>/dev/null");
  EXPECT_EQ(status, 1);  // some articles were refused
  const std::string closing = engine::ToUtf8(import::kImportDoneWithErrorsStart) + "20" +
                              engine::ToUtf8(import::kImportDoneWithErrorsEnd) +
                              " Il prezzo non può essere negativo.";  // the first refusal: a negative price
  EXPECT_EQ(output, engine::ToUtf8(import::kPurgeQuestion) + "\n" + closing +
                        "\nadded: 252\nalready present: 25\nwithout code: 3\nfailed: 20\nvalues not written: 0\n");

  const std::string dump = RunArchivi("dump " + Quoted(destination) + " Articoli", &status);
  ASSERT_EQ(status, 0) << dump;
  const std::vector<std::string> ours = SplitLines(dump);
  const std::vector<std::string> expected = ExpectedArticles(regole / "import" / "fonte-decimali-in-listini-proprieta.Articoli.tsv");
  EXPECT_EQ(ours.size(), expected.size());
  for (size_t i = 0; i < std::min(ours.size(), expected.size()); ++i) {
    ASSERT_EQ(ours[i], expected[i]) << "line " << i + 1;
  }

  const std::string check = RunArchivi("check " + Quoted(destination), &status);
  EXPECT_EQ(status, 0) << check;
}

}  // namespace
