// A second, independent reader agrees: mdbtools' mdb-export over the same tables. mdb-export
// shows empty texts as Null, yes/no as TRUE/FALSE, bytes as bare hex, numbers with its own
// digits, and dates before 1900 wrongly; the comparison allows for exactly those differences.
#include <gtest/gtest.h>

#include <charconv>

#include <cmath>

#include "tools/archivi/dump/dump_format.h"
#include "tests/engine/jet/jet_test_util.h"
#include "tests/support/files.h"

namespace {

bool HaveMdbExport() {
  int status = 0;
  testsupport::RunCommand("command -v mdb-export >/dev/null 2>&1", &status);
  return status == 0;
}

bool SameNumber(const std::string& a, const std::string& b) {
  double x = 0;
  double y = 0;
  const auto read_a = std::from_chars(a.data(), a.data() + a.size(), x);
  const auto read_b = std::from_chars(b.data(), b.data() + b.size(), y);
  if (read_a.ptr != a.data() + a.size() || read_b.ptr != b.data() + b.size() || a.empty() || b.empty()) return false;
  return std::fabs(x - y) <= 1e-9 * std::max(1.0, std::fabs(x));
}

bool Agree(const std::string& ours, const std::string& theirs) {
  if (ours == theirs) return true;
  if (ours.empty() && theirs == "\\N") return true;  // mdb-export: empty text as Null
  if (ours == "true" && theirs == "TRUE") return true;
  if (ours == "false" && theirs == "FALSE") return true;
  // Dates before 1900 are printed wrongly by mdb-export.
  if (ours.size() >= 19 && ours[4] == '-' && ours[10] == 'T' && ours < "1900") return true;
  // Bytes: mdb-export writes upper-case hex without the 0x.
  if (ours.rfind("0x", 0) == 0 && ours.size() == theirs.size() + 2) {
    std::string lower = theirs;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ours.substr(2) == lower;
  }
  return SameNumber(ours, theirs);
}

class MdbExportAgrees : public testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(MdbExportAgrees, OnEveryField) {
  REQUIRE_FIXTURES();
  if (!HaveMdbExport()) GTEST_SKIP() << "mdb-export is not installed";
  const auto [file, table] = GetParam();
  const auto path = testsupport::Fixture(file);
  int status = 0;
  const std::string theirs = testsupport::RunCommand(
      "LC_ALL=C.UTF-8 mdb-export -d '\t' -Q -e -b hex -0 '\\N' -B -T '%Y-%m-%dT%H:%M:%S' '" + path.string() + "' '" + table + "'", &status);
  ASSERT_EQ(status, 0);
  auto database = testsupport::OpenFixture(file);
  auto records = database->OpenRecordset(engine::FromUtf8(table));
  const auto a = testsupport::SplitLines(engine::DumpRecordset(*records));
  const auto b = testsupport::SplitLines(theirs);
  ASSERT_EQ(a.size(), b.size());
  ASSERT_GT(a.size(), 1u);
  EXPECT_EQ(a[0], b[0]);
  int differences = 0;
  for (size_t line = 1; line < a.size() && differences < 10; ++line) {
    const auto x = testsupport::SplitTabs(a[line]);
    const auto y = testsupport::SplitTabs(b[line]);
    ASSERT_EQ(x.size(), y.size()) << "line " << line;
    for (size_t i = 0; i < x.size(); ++i) {
      if (!Agree(x[i], y[i])) {
        ADD_FAILURE() << table << " line " << line << " column " << i << ": ours " << x[i] << ", mdb-export " << y[i];
        ++differences;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Tables, MdbExportAgrees,
                         testing::Values(std::make_pair("listini/listini-pieno.mdb", "Articoli"),
                                         std::make_pair("listini/fonte.mdb", "Prodotti"),
                                         std::make_pair("listini/fonte.mdb", "Fornitori"),
                                         std::make_pair("regole/fonte-decimali.mdb", "Prodotti"),
                                         std::make_pair("jet/V1997/testV1997.mdb", "Table1"),
                                         std::make_pair("jet/V2000/test2V2000.mdb", "MSP_PROJECTS"),
                                         std::make_pair("jet/V1997/delColTestV1997.mdb", "Table1")));

}  // namespace
