// `archivi import` into a price list whose columns have their own defaults and rules: the
// decimal source archive into a copy of listini-proprieta.mdb, as a shop would run it. The
// counts, the closing message with the first refusal, and the table afterwards, row by row.
#include <gtest/gtest.h>

#include <ctime>
#include <map>

#include "engine/value/value.h"
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

  const fs::path report = dir.path() / "resoconto.csv";
  int status = -1;
  const std::string output =
      RunArchivi("import " + Quoted(destination) + " " + Quoted(regole / "fonte-decimali.mdb") +
                  " Prodotti --slot 0=Categoria --slot 1=Codice --slot 2=Nome --slot 4=Prezzo --slot 5=Sconto --purge no"
                  " --report " +
                  Quoted(report),
              &status, "2>" + Quoted(dir.path() / "errors.txt"));
  EXPECT_EQ(status, 1);  // some articles were refused
  // The engine's words for administrators, with the record, and the field and value that a
  // table's own text leaves out.
  EXPECT_EQ(testsupport::ReadText(dir.path() / "errors.txt"),
            "first failure: row 27, code \"D-0003\", column \"Prezzo\", value \"-1.5\": "
            "Il prezzo non può essere negativo.\n");
  // The first refusal, a negative price, with the field and the value its own text leaves out.
  const std::string closing = engine::ToUtf8(import::kImportDoneWithErrorsStart) + "20" +
                              engine::ToUtf8(import::kImportDoneWithErrorsEnd) +
                              " Il prezzo non può essere negativo (campo Prezzo, valore «-1.5»). " +
                              engine::ToUtf8(import::ReportDetailText(engine::FromUtf8(report.string())));
  EXPECT_EQ(output, engine::ToUtf8(import::kPurgeQuestion) + "\n" + closing +
                        "\nadded: 252\nalready present: 25\nwithout code: 3\nfailed: 20\nvalues not written: 0\n"
                        "values changed: 0\n");

  // The report, read by python3: the printed counts, and a line with its field and reason
  // for each refused record, D-0001 to D-0010 for their price, D-0011 to D-0020 for a
  // description they lack.
  const std::optional<std::vector<std::vector<std::string>>> rows = testsupport::PythonCsvRows(report);
  if (rows) {
    std::map<std::string, std::string> summary;
    std::vector<std::vector<std::string>> refused;
    for (const auto& row : *rows) {
      if (row.size() == 2) summary[row[0]] = row[1];
      if (row.size() == 6 && row[2] == engine::ToUtf8(import::kReportNotImported)) refused.push_back(row);
    }
    const std::vector<std::pair<std::u16string_view, std::string>> counts = {
        {import::kReportAddedKey, "252"}, {import::kReportAlreadyPresentKey, "25"},
        {import::kReportWithoutCodeKey, "3"}, {import::kReportNotImportedKey, "20"},
        {import::kReportValuesNotWrittenKey, "0"}};
    for (const auto& [key, count] : counts) EXPECT_EQ(summary[engine::ToUtf8(key)], count) << engine::ToUtf8(key);
    EXPECT_EQ(refused.size(), 20u);
    for (const auto& row : refused) {
      const bool price = row[1] <= "D-0010";
      EXPECT_EQ(row[3], price ? "Prezzo" : "Descrizione") << row[1];
      EXPECT_EQ(row[5], price ? "Il prezzo non può essere negativo." : "Il campo Descrizione non può essere vuoto.")
          << row[1];
      if (price) {
        EXPECT_EQ(row[4].substr(0, 1), "-") << row[1];
      }
    }
  }

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
