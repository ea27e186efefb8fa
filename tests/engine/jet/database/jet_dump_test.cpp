// Every user table of every fixture database dumps as the independent reader's dump.
#include <gtest/gtest.h>

#include <charconv>

#include <cstdlib>

#include "tools/archivi/dump/dump_format.h"
#include "tests/engine/jet/jet_test_util.h"
#include "tests/support/files.h"

namespace {

struct ExpectedDump {
  std::string name;          // file.table, for the test name
  std::string database;      // relative to the fixtures folder
  std::string table;
  std::string expected;      // relative path of the expected dump
};

std::vector<ExpectedDump> AllExpectedDumps() {
  std::vector<ExpectedDump> dumps;
  const auto root = testsupport::FixturesDir();
  if (root.empty()) return dumps;
  for (const char* folder : {"jet/expected", "listini/expected", "regole/expected"}) {
    for (const auto& entry : std::filesystem::directory_iterator(root / folder)) {
      const std::string stem = entry.path().stem().string();
      const size_t dot = stem.find('.');
      ExpectedDump dump{stem, "", stem.substr(dot + 1), std::string(folder) + "/" + entry.path().filename().string()};
      const std::string file = stem.substr(0, dot) + ".mdb";
      for (const char* where : {"jet/V1997/", "jet/V2000/", "jet/other/", "listini/", "regole/"}) {
        if (std::filesystem::exists(root / where / file)) dump.database = std::string(where) + file;
      }
      dumps.push_back(dump);
    }
  }
  std::sort(dumps.begin(), dumps.end(), [](auto& a, auto& b) { return a.name < b.name; });
  return dumps;
}

// The reference reader writes singles with Java's float digits, which are not always the
// shortest; both forms must read back to the same single.
bool SameSingle(const std::string& ours, const std::string& theirs) {
  float x = 0;
  float y = 0;
  std::from_chars(ours.data(), ours.data() + ours.size(), x);
  std::from_chars(theirs.data(), theirs.data() + theirs.size(), y);
  return x == y;
}

class ExpectedDumpTest : public testing::TestWithParam<ExpectedDump> {};

TEST_P(ExpectedDumpTest, MatchesReference) {
  REQUIRE_FIXTURES();
  const ExpectedDump& dump = GetParam();
  ASSERT_FALSE(dump.database.empty()) << "no database for " << dump.name;
  auto database = testsupport::OpenFixture(dump.database);
  auto records = database->OpenRecordset(engine::FromUtf8(dump.table));
  const auto ours = testsupport::SplitLines(engine::DumpRecordset(*records));
  const auto theirs = testsupport::SplitLines(testsupport::ReadText(testsupport::FixturesDir() / dump.expected));
  ASSERT_EQ(ours.size(), theirs.size()) << "row count differs";
  ASSERT_EQ(ours[0], theirs[0]) << "column names differ";

  std::vector<bool> single_column(records->FieldCount(), false);
  if (records->RecordCount() > 0) {
    for (records->MoveFirst(); !records->Eof(); records->MoveNext()) {
      for (int i = 0; i < records->FieldCount(); ++i) {
        if (records->GetValue(i).type() == engine::Value::Type::Single) single_column[i] = true;
      }
    }
  }
  for (size_t line = 1; line < ours.size(); ++line) {
    if (ours[line] == theirs[line]) continue;
    const auto a = testsupport::SplitTabs(ours[line]);
    const auto b = testsupport::SplitTabs(theirs[line]);
    ASSERT_EQ(a.size(), b.size()) << "line " << line;
    for (size_t i = 0; i < a.size(); ++i) {
      if (single_column[i] && a[i] != "\\N" && b[i] != "\\N") {
        EXPECT_TRUE(SameSingle(a[i], b[i])) << "line " << line << " column " << i << ": " << a[i] << " vs " << b[i];
      } else {
        EXPECT_EQ(a[i], b[i]) << "line " << line << " column " << i;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ExpectedDumpTest, testing::ValuesIn(AllExpectedDumps()),
                         [](const testing::TestParamInfo<ExpectedDump>& instance) {
                           std::string name = instance.param.name;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ExpectedDumpTest);

// Tables Jet keeps for itself are listed with the user's, flagged, in name order.
TEST(JetCatalogue, ListsSystemAndUserTables) {
  REQUIRE_FIXTURES();
  auto database = testsupport::OpenFixture("listini/listini-pieno.mdb");
  const auto tables = database->TableDefs();
  ASSERT_FALSE(tables.empty());
  EXPECT_EQ(tables.front().name, u"Articoli");
  EXPECT_EQ(tables.back().name, u"MSysRelationships");
  int user_tables = 0;
  for (const auto& table : tables) {
    const bool msys = table.name.size() >= 4 && table.name.substr(0, 4) == u"MSys";
    EXPECT_EQ(table.is_system, msys) << engine::ToUtf8(table.name);
    if (!table.is_system) {
      EXPECT_EQ(table.name, u"Articoli");
      ++user_tables;
    }
  }
  EXPECT_EQ(user_tables, 1);
}

TEST(JetCatalogue, Jet3FileListsItsTables) {
  REQUIRE_FIXTURES();
  auto database = testsupport::OpenFixture("jet/V1997/indexTestV1997.mdb");
  std::vector<std::u16string> user;
  for (const auto& table : database->TableDefs()) {
    if (!table.is_system) user.push_back(table.name);
  }
  std::sort(user.begin(), user.end());
  EXPECT_EQ(user, (std::vector<std::u16string>{u"Table1", u"Table2", u"Table3"}));
}

}  // namespace
