// A new empty database against the empty databases Jet itself made (emptyJet4.mdb, made by
// Access, and adox_jet4.mdb, made through ADOX): same system tables, columns, indexes and
// catalogue rows, a header page every reader accepts, and usage maps and index trees that
// agree with the rows.
#include <cstring>

#include <gtest/gtest.h>

#include "engine/base/bytes.h"
#include "engine/base/error.h"
#include "engine/jet/create/database_creator.h"
#include "engine/jet/format/byte_reader.h"
#include "engine/jet/storage/header_page.h"
#include "engine/jet/create/system_tables.h"
#include "tests/engine/jet/create/create_test_support.h"

namespace {

using namespace testsupport;
using engine::jet::CreateDatabase;

std::filesystem::path JetFixture(const char* name) { return testsupport::FixturesDir() / "jet" / "other" / name; }

// 2021-03-04 05:06:07, so that tests do not depend on the clock.
constexpr double kCreated = 44259.212581018516;

class NewDatabase : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.path() / "new.mdb";
    engine::jet::NewDatabaseOptions options;
    options.creation_days = kCreated;
    CreateDatabase(path_, {}, options);
  }
  testsupport::TempDir dir_;
  std::filesystem::path path_;
};

std::vector<std::u16string> SystemTableNames(OpenedDatabase& db) {
  std::vector<std::u16string> names;
  for (const CatalogEntry& entry : db.Catalog()) {
    EXPECT_TRUE(entry.is_system) << engine::ToUtf8(entry.name);
    names.push_back(entry.name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(NewDatabase, HasTheSystemTablesOfJetMadeDatabasesWithTheSameDefinitions) {
  REQUIRE_FIXTURES();
  OpenedDatabase made(path_);
  for (const char* fixture : {"adox_jet4.mdb", "emptyJet4.mdb"}) {
    SCOPED_TRACE(fixture);
    OpenedDatabase jet(JetFixture(fixture));
    const std::vector<std::u16string> names = SystemTableNames(jet);
    ASSERT_EQ(SystemTableNames(made), names);
    for (const std::u16string& name : names) {
      const TableDefinition made_table = made.Table(name);
      const TableDefinition jet_table = jet.Table(name);
      ExpectSameColumns(made_table, jet_table);
      ExpectSameIndexes(made_table, jet_table);
      EXPECT_EQ(made_table.row_count, jet_table.row_count) << engine::ToUtf8(name);
      // Memo and OLE columns have their own usage maps, as in Access 2000 files.
      for (const ColumnDefinition& column : made_table.columns) {
        if (column.is_long_value()) {
          EXPECT_NE(column.lval_owned_map.page, kNoPage) << engine::ToUtf8(column.name);
        }
      }
    }
  }
}

TEST_F(NewDatabase, CatalogueAndPermissionRowsAreThoseOfAJetMadeDatabase) {
  REQUIRE_FIXTURES();
  OpenedDatabase made(path_);
  OpenedDatabase jet(JetFixture("adox_jet4.mdb"));
  // Everything but the dates (and, in other files, the security ids, which depend on the
  // database) is the same row for row, in the same order.
  const std::vector<std::vector<Value>> made_objects = made.Rows(made.Table(u"MSysObjects"));
  const std::vector<std::vector<Value>> jet_objects = jet.Rows(jet.Table(u"MSysObjects"));
  ASSERT_EQ(made_objects.size(), jet_objects.size());
  for (size_t row = 0; row < jet_objects.size(); ++row) {
    for (int column : {0, 1, 2, 3, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}) {
      EXPECT_EQ(made_objects[row][column], jet_objects[row][column]) << "row " << row << " column " << column;
    }
    EXPECT_EQ(made_objects[row][4], Value::DateTime({kCreated}));
    EXPECT_EQ(made_objects[row][5], Value::DateTime({kCreated}));
  }
  EXPECT_EQ(made.Rows(made.Table(u"MSysACEs")), jet.Rows(jet.Table(u"MSysACEs")));
  EXPECT_TRUE(made.Rows(made.Table(u"MSysQueries")).empty());
  EXPECT_TRUE(made.Rows(made.Table(u"MSysRelationships")).empty());
}

TEST_F(NewDatabase, HeaderPageDecodesAsAGeneralSortOrderJet4DatabaseWithoutPassword) {
  const std::vector<uint8_t> bytes = ReadBytes(path_);
  ASSERT_EQ(bytes.size() % 4096, 0u);
  const HeaderPage header = DecodeHeaderPage(bytes.data(), bytes.size(), path_.string());
  EXPECT_FALSE(header.format->is_jet3());
  EXPECT_EQ(header.code_page, 1252);
  EXPECT_EQ(header.sort_order, 0x0409);
  EXPECT_EQ(header.sort_version, 0);
  EXPECT_EQ(header.encoding_key, 0u);
  EXPECT_FALSE(header.has_password);

  // Unmasked, the region holds the creation date at 0x72 and the password area masked by
  // its whole days.
  std::vector<uint8_t> page(bytes.begin(), bytes.begin() + 4096);
  const uint8_t key[] = {0xC7, 0xDA, 0x39, 0x6B};
  Rc4Apply(key, sizeof key, page.data() + 0x18, 128);
  double created = 0;
  std::memcpy(&created, page.data() + 0x72, sizeof created);
  EXPECT_EQ(created, kCreated);
  for (size_t i = 0; i < 40; i += 4) EXPECT_EQ(GetU32(page.data() + 0x42 + i), 44259u) << i;
}

TEST_F(NewDatabase, HeaderPageMatchesJetOutsideTheDateDependentFields) {
  REQUIRE_FIXTURES();
  auto unmasked = [](std::vector<uint8_t> bytes) {
    bytes.resize(4096);
    const uint8_t key[] = {0xC7, 0xDA, 0x39, 0x6B};
    Rc4Apply(key, sizeof key, bytes.data() + 0x18, 128);
    return bytes;
  };
  const std::vector<uint8_t> made = unmasked(ReadBytes(path_));
  const std::vector<uint8_t> jet = unmasked(ReadBytes(JetFixture("emptyJet4.mdb")));
  for (size_t i = 0; i < 4096; ++i) {
    const bool date_dependent = (i >= 0x42 && i < 0x6A) || (i >= 0x72 && i < 0x7A);
    if (!date_dependent) {
      EXPECT_EQ(made[i], jet[i]) << "header byte 0x" << std::hex << i;
    }
  }
}

TEST_F(NewDatabase, UsageMapsAndIndexesAgreeWithTheRows) {
  EXPECT_EQ(CheckDatabase(path_), std::vector<std::string>{});
  // The file ends with the last page in use: 16 pages as Jet makes it.
  EXPECT_EQ(std::filesystem::file_size(path_), 16u * 4096);
}

TEST_F(NewDatabase, IsNeverOverwritten) {
  const std::vector<uint8_t> before = ReadBytes(path_);
  try {
    CreateDatabase(path_);
    FAIL() << "an existing file was accepted";
  } catch (const engine::Error& error) {
    EXPECT_EQ(error.file(), path_.string());
    EXPECT_NE(error.reason().find("already exists"), std::string::npos) << error.reason();
  }
  EXPECT_EQ(ReadBytes(path_), before);
}

TEST(CreateDatabaseErrors, MissingFolderIsReportedWithTheFile) {
  testsupport::TempDir dir;
  const std::filesystem::path path = dir.path() / "no-such-folder" / "x.mdb";
  try {
    CreateDatabase(path);
    FAIL() << "created a file in a missing folder";
  } catch (const engine::Error& error) {
    EXPECT_EQ(error.file(), path.string());
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(NewDatabase, OtherReadersListTheSystemTables) {
  int status = 0;
  const std::string tables = testsupport::RunCommand("mdb-tables -S -1 '" + path_.string() + "'", &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(tables, "MSysObjects\nMSysACEs\nMSysQueries\nMSysRelationships\n");
  const std::string objects = testsupport::RunCommand("mdb-export '" + path_.string() + "' MSysObjects", &status);
  ASSERT_EQ(status, 0);
  EXPECT_NE(objects.find("251658241,251658240,\"Tables\",3"), std::string::npos) << objects;
  EXPECT_NE(objects.find("5,251658241,\"MSysRelationships\",1"), std::string::npos) << objects;

  const std::optional<std::string> dump = testsupport::MdbReaderDump(path_, "MSysACEs");
  if (!dump) {
    if (testsupport::RunningInCi()) FAIL() << "mdb-reader is not installed";
    GTEST_SKIP() << "mdb-reader not installed (set MDB_READER_DIR)";
  }
  // Header line and 16 permission rows.
  EXPECT_EQ(std::count(dump->begin(), dump->end(), '\n'), 17) << *dump;
}

}  // namespace
