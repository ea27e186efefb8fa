// New tables: every column type and index kind read back by the engine's reader and by
// mdbtools, the standard "Articoli" layout against the shared listini.mdb, tables whose
// definition spans several pages, a catalogue large enough to split its indexes, tables
// added to files Access made, and the descriptions that must be refused.
#include <gtest/gtest.h>

#include "engine/base/bytes.h"
#include "engine/base/error.h"
#include "engine/jet/catalog/tdef_encoder.h"
#include "engine/jet/create/database_creator.h"
#include "engine/jet/create/table_creator.h"
#include "engine/jet/page/usage_map_writer.h"
#include "tests/engine/jet/create/create_test_support.h"

namespace {

using namespace testsupport;
using engine::GetU16;
using engine::jet::ColumnSpec;
using engine::jet::IndexSpec;
using engine::jet::TableSpec;

IndexSpec Index(const std::u16string& name, std::vector<engine::jet::IndexColumnSpec> columns) {
  IndexSpec index;
  index.name = name;
  index.columns = std::move(columns);
  return index;
}

// One column of every type Access 2000 offers, and one index of every kind.
TableSpec EveryKindSpec() {
  TableSpec spec;
  spec.name = u"Prova Tipi";
  ColumnSpec id{u"Id", ColumnType::Long};
  id.autonumber = true;
  spec.columns = {id,
                  {u"Attivo", ColumnType::Boolean},
                  {u"Piccolo", ColumnType::Byte},
                  {u"Quanti", ColumnType::Integer},
                  {u"Importo", ColumnType::Money},
                  {u"Rapporto", ColumnType::Float},
                  {u"Valore", ColumnType::Double},
                  {u"Quando", ColumnType::DateTime},
                  {u"Codice", ColumnType::Text, 20},
                  {u"Dati", ColumnType::Binary, 100},
                  {u"Note", ColumnType::Memo},
                  {u"Figura", ColumnType::Ole},
                  {u"Riferimento", ColumnType::Guid},
                  {u"Esatto", ColumnType::Numeric},
                  {u"Ultima", ColumnType::Text, 255}};
  spec.columns[8].compressed_unicode = false;
  IndexSpec primary = Index(u"PrimaryKey", {{u"Id", true}});
  primary.primary = true;
  IndexSpec unique = Index(u"Codice unico", {{u"Codice", true}});
  unique.unique = true;
  IndexSpec several = Index(u"Quanti e quando", {{u"Quanti", true}, {u"Quando", false}, {u"Ultima", true}});
  IndexSpec ignore = Index(u"Rapporto", {{u"Rapporto", true}});
  ignore.ignore_nulls = true;
  IndexSpec required = Index(u"Piccolo", {{u"piccolo", false}});  // column names match without case
  required.required = true;
  spec.indexes = {primary, unique, several, ignore, required};
  return spec;
}

class CreateTableTest : public ::testing::Test {
 protected:
  std::filesystem::path NewFile(const std::vector<TableSpec>& tables, const char* name = "t.mdb") {
    const std::filesystem::path path = dir_.path() / name;
    engine::jet::CreateDatabase(path, tables);
    return path;
  }
  testsupport::TempDir dir_;
};

TEST_F(CreateTableTest, EveryColumnTypeAndIndexKindReadsBackAsLaidOut) {
  const TableSpec spec = EveryKindSpec();
  const std::filesystem::path path = NewFile({spec});
  OpenedDatabase db(path);
  const TableDefinition read = db.Table(spec.name);
  const TableDefinition planned = engine::jet::LayOutTable(spec);
  ExpectSameColumns(read, planned);
  ExpectSameIndexes(read, planned);
  EXPECT_EQ(read.row_count, 0u);
  EXPECT_EQ(read.autonumber, 0u);

  // What Access would have made of the same description.
  auto column = [&](const char16_t* name) -> const ColumnDefinition& {
    for (const ColumnDefinition& c : read.columns) {
      if (c.name == name) return c;
    }
    ADD_FAILURE() << "no column " << engine::ToUtf8(name);
    return read.columns.front();
  };
  EXPECT_EQ(column(u"Id").flags, 0x07);  // fixed, updatable, autonumber
  EXPECT_EQ(column(u"Importo").flags, 0x03);
  EXPECT_EQ(column(u"Ultima").flags, 0x02);
  EXPECT_EQ(column(u"Ultima").extra_flags, 0x01);  // Unicode compression
  EXPECT_EQ(column(u"Codice").extra_flags, 0x00);
  EXPECT_EQ(column(u"Ultima").length, 510);
  EXPECT_EQ(column(u"Esatto").length, 17);
  EXPECT_EQ(column(u"Note").length, 0);
  // Fixed values are packed in column order; a yes/no column takes no bytes.
  EXPECT_EQ(column(u"Piccolo").fixed_offset, 4);
  EXPECT_EQ(column(u"Quanti").fixed_offset, 5);
  EXPECT_EQ(column(u"Importo").fixed_offset, 7);
  EXPECT_EQ(read.var_columns, 5);
  std::map<std::u16string, uint8_t> flags;
  for (const LogicalIndex& index : read.logical_indexes)
    flags[index.name] = read.real_indexes.at(index.real_index).flags;
  EXPECT_EQ(flags[u"PrimaryKey"], 0x89);
  EXPECT_EQ(flags[u"Codice unico"], 0x81);
  EXPECT_EQ(flags[u"Quanti e quando"], 0x80);
  EXPECT_EQ(flags[u"Rapporto"], 0x82);
  EXPECT_EQ(flags[u"Piccolo"], 0x88);
  for (const ColumnDefinition& c : read.columns) {
    if (c.is_long_value()) {
      EXPECT_NE(c.lval_owned_map.page, kNoPage) << engine::ToUtf8(c.name);
    }
  }
  EXPECT_EQ(CheckDatabase(path), std::vector<std::string>{});

  int status = 0;
  const std::string schema = testsupport::RunCommand("mdb-schema '" + path.string() + "' mysql 2>&1", &status);
  ASSERT_EQ(status, 0) << schema;
  for (const char* expected :
       {"`Quando`", "`Figura`", "`Riferimento`", "ADD PRIMARY KEY (`Id`)", "ADD UNIQUE INDEX `Codice unico` (`Codice`)",
        "`Quanti e quando` (`Quanti`, `Quando` DESC, `Ultima`)"}) {
    EXPECT_NE(schema.find(expected), std::string::npos) << expected << "\n" << schema;
  }
}

TEST_F(CreateTableTest, ArticoliHasTheLayoutOfTheSharedListini) {
  REQUIRE_FIXTURES();
  const std::filesystem::path path = dir_.path() / "listini.mdb";
  engine::jet::CreateListiniDatabase(path);
  OpenedDatabase made(path);
  OpenedDatabase shared(testsupport::Listini("listini.mdb"));
  const TableDefinition made_table = made.Table(u"Articoli");
  const TableDefinition shared_table = shared.Table(u"Articoli");
  ExpectSameColumns(made_table, shared_table);
  ExpectSameIndexes(made_table, shared_table);
  // Shown in the same order.
  for (size_t i = 0; i < shared_table.columns.size(); ++i)
    EXPECT_EQ(made_table.columns[i].name, shared_table.columns[i].name);
  EXPECT_EQ(CheckDatabase(path), std::vector<std::string>{});
}

TEST_F(CreateTableTest, WideTableDefinitionSpansSeveralPages) {
  TableSpec spec;
  spec.name = u"Larga";
  for (int i = 0; i < 250; ++i) {
    spec.columns.push_back(ColumnSpec{u"Colonna numero " + engine::FromUtf8(std::to_string(i)), ColumnType::Text, 10});
  }
  spec.indexes = {Index(u"Prima", {{u"Colonna numero 0", true}}), Index(u"Ultima", {{u"Colonna numero 249", true}})};
  const std::filesystem::path path = NewFile({spec});
  OpenedDatabase db(path);
  const TableDefinition read = db.Table(u"Larga");
  EXPECT_GE(read.tdef_pages.size(), 3u);
  ASSERT_EQ(read.columns.size(), 250u);
  EXPECT_EQ(read.columns[249].name, u"Colonna numero 249");
  ASSERT_EQ(read.logical_indexes.size(), 2u);
  EXPECT_EQ(read.logical_indexes[1].name, u"Ultima");
  EXPECT_EQ(CheckDatabase(path), std::vector<std::string>{});

  int status = 0;
  const std::string exported = testsupport::RunCommand("mdb-export '" + path.string() + "' Larga", &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(std::count(exported.begin(), exported.end(), ','), 249) << "header line of 250 columns";
  const std::optional<std::string> dump = testsupport::MdbReaderDump(path, "Larga");
  if (dump) {
    EXPECT_EQ(dump->substr(0, dump->find('\n')).find("Colonna numero 249"), dump->find('\n') - 18);
  } else if (testsupport::RunningInCi()) {
    FAIL() << "mdb-reader is not installed";
  }
}

TEST_F(CreateTableTest, HundredsOfTablesSplitTheCatalogueIndexes) {
  // Built in memory, as CreateDatabase does, then checked as a file.
  engine::jet::EmptyDatabase database = engine::jet::BuildEmptyDatabase("many.mdb");
  engine::jet::PageAllocator allocator(database.image);
  const engine::jet::PageSource new_page = [&] { return allocator.Allocate(); };
  TableSpec spec;
  spec.columns = {{u"Codice", ColumnType::Text}};
  spec.indexes = {Index(u"Codice", {{u"Codice", true}})};
  for (int i = 0; i < 400; ++i) {
    spec.name = u"Tabella con un nome abbastanza lungo " + engine::FromUtf8(std::to_string(i));
    engine::jet::CreateTable(database.image, new_page, database.catalogue, spec, "many.mdb", 44000.5);
  }
  const std::filesystem::path path = dir_.path() / "many.mdb";
  database.image.Save(path);

  OpenedDatabase db(path);
  EXPECT_EQ(db.Catalog().size(), 404u);
  const TableDefinition objects = db.Table(u"MSysObjects");
  EXPECT_EQ(objects.row_count, 408u);
  const IndexCheckResult names = CheckIndexTree(db.pager(), objects.real_indexes[0].root_page, objects.tdef_page);
  EXPECT_GT(names.levels, 1u) << "the (ParentId, Name) index should have split";
  EXPECT_EQ(CheckDatabase(path), std::vector<std::string>{});
  int status = 0;
  const std::string tables = testsupport::RunCommand("mdb-tables -1 '" + path.string() + "' | wc -l", &status);
  EXPECT_EQ(tables, "400\n");
}

TEST_F(CreateTableTest, TableAddedToAccessMadeFilesKeepsTheirTables) {
  REQUIRE_FIXTURES();
  for (const char* fixture : {"jet/other/emptyJet4.mdb", "jet/other/empty-template-V2000.mdb", "listini/listini.mdb"}) {
    SCOPED_TRACE(fixture);
    const std::filesystem::path path = dir_.Copy(testsupport::FixturesDir() / fixture);
    OpenedDatabase before(path);
    const size_t tables_before = before.Catalog().size();
    const TableSpec spec = EveryKindSpec();
    const engine::jet::PageNumber tdef = engine::jet::CreateTable(path, spec);

    OpenedDatabase after(path);
    const std::vector<CatalogEntry> catalog = after.Catalog();
    ASSERT_EQ(catalog.size(), tables_before + 1);
    auto added =
        std::find_if(catalog.begin(), catalog.end(), [&](const CatalogEntry& e) { return e.name == spec.name; });
    ASSERT_NE(added, catalog.end());
    EXPECT_EQ(added->tdef_page, tdef);
    EXPECT_FALSE(added->is_system);
    ExpectSameIndexes(after.Table(spec.name), engine::jet::LayOutTable(spec));
    EXPECT_EQ(CheckDatabase(path), std::vector<std::string>{});
    int status = 0;
    const std::string tables = testsupport::RunCommand("mdb-tables -1 '" + path.string() + "'", &status);
    EXPECT_NE(tables.find("Prova Tipi"), std::string::npos) << tables;
  }
}

TEST_F(CreateTableTest, ExistingNameIsRefusedWithoutTouchingTheFile) {
  const std::filesystem::path path = NewFile({engine::jet::ArticoliTableSpec()});
  const std::vector<uint8_t> before = ReadBytes(path);
  for (const char16_t* name : {u"Articoli", u"ARTICOLI", u"MSysObjects"}) {
    TableSpec spec;
    spec.name = name;
    spec.columns = {{u"A", ColumnType::Long}};
    try {
      engine::jet::CreateTable(path, spec);
      ADD_FAILURE() << "accepted " << engine::ToUtf8(name);
    } catch (const engine::Error& error) {
      EXPECT_EQ(error.kind(), engine::ErrorKind::Duplicate) << error.what();
      EXPECT_EQ(error.file(), path.string());
    }
  }
  EXPECT_EQ(ReadBytes(path), before);
}

// Until the table writer writes Jet 3 rows, the catalogue row refuses and the file stays as it
// was; once it does, the table reads back as laid out for Access 97.
TEST_F(CreateTableTest, Access97FilesTakeATableInTheirOwnLayout) {
  REQUIRE_FIXTURES();
  const std::filesystem::path path = dir_.Copy(testsupport::FixturesDir() / "jet" / "V1997" / "testV1997.mdb");
  const std::vector<uint8_t> before = ReadBytes(path);
  const TableSpec spec = engine::jet::ArticoliTableSpec();
  try {
    engine::jet::CreateTable(path, spec);
  } catch (const engine::Error& error) {
    EXPECT_EQ(error.kind(), engine::ErrorKind::UnsupportedFormat) << error.what();
    EXPECT_EQ(ReadBytes(path), before);
    return;
  }
  OpenedDatabase after(path);
  const TableDefinition planned = engine::jet::LayOutTable(spec, engine::jet::kJet3Format);
  ExpectSameColumns(after.Table(spec.name), planned);
  ExpectSameIndexes(after.Table(spec.name), planned);
}

TEST(LayOutTable, RefusesImpossibleDescriptions) {
  struct Case {
    const char* what;
    std::function<void(TableSpec&)> change;
    const char* reason;
    const engine::jet::JetFormat* format = &engine::jet::kJet4Format;
  };
  const std::vector<Case> cases = {
      {"no columns",
       [](TableSpec& s) {
         s.columns.clear();
         s.indexes.clear();
       },
       "no columns"},
      {"same name twice",
       [](TableSpec& s) {
         s.columns.push_back(ColumnSpec{u"CODICE", ColumnType::Long});
       },
       "two columns"},
      {"text of 0", [](TableSpec& s) { s.columns[1].max_chars = 0; }, "1 to 255"},
      {"text of 256", [](TableSpec& s) { s.columns[1].max_chars = 256; }, "1 to 255"},
      {"autonumber text", [](TableSpec& s) { s.columns[1].autonumber = true; }, "autonumber"},
      {"index on a missing column", [](TableSpec& s) { s.indexes[0].columns[0].column = u"Manca"; }, "missing column"},
      {"index on a memo", [](TableSpec& s) { s.indexes[0].columns[0].column = u"Note"; }, "cannot be indexed"},
      {"eleven index columns",
       [](TableSpec& s) {
         s.indexes[0].columns.assign(11, {u"Id", true});
       },
       "1 to 10"},
      {"two primary keys", [](TableSpec& s) { s.indexes[1].primary = true; }, "two primary keys"},
      {"same index name twice", [](TableSpec& s) { s.indexes[1].name = u"primarykey"; }, "two indexes"},
      {"decimal in Access 97",
       [](TableSpec& s) {
         s.columns.push_back({u"D", ColumnType::Numeric});
       },
       "need Access 2000", &engine::jet::kJet3Format},
      {"binary of 256 in Access 97",
       [](TableSpec& s) {
         s.columns.push_back({u"B", ColumnType::Binary, 256});
       },
       "1 to 255", &engine::jet::kJet3Format},
      {"fixed columns over 2 KB in Access 97",
       [](TableSpec& s) {
         for (int i = 0; i < 252; ++i)
           s.columns.push_back({u"P" + engine::FromUtf8(std::to_string(i)), ColumnType::Money});
       },
       "do not fit in a row", &engine::jet::kJet3Format},
  };
  for (const Case& c : cases) {
    TableSpec spec;
    spec.name = u"T";
    ColumnSpec id{u"Id", ColumnType::Long};
    id.autonumber = true;
    spec.columns = {id, {u"Codice", ColumnType::Text}, {u"Note", ColumnType::Memo}};
    IndexSpec primary = Index(u"PrimaryKey", {{u"Id", true}});
    primary.primary = true;
    spec.indexes = {primary, Index(u"Codice", {{u"Codice", true}})};
    ASSERT_NO_THROW(engine::jet::LayOutTable(spec, *c.format)) << "the base description must be valid";
    c.change(spec);
    if (c.format != &engine::jet::kJet4Format) {
      ASSERT_NO_THROW(engine::jet::LayOutTable(spec)) << c.what << ": Access 2000 takes it";
    }
    try {
      engine::jet::LayOutTable(spec, *c.format);
      ADD_FAILURE() << c.what << " accepted";
    } catch (const engine::Error& error) {
      EXPECT_NE(error.reason().find(c.reason), std::string::npos) << c.what << ": " << error.reason();
      EXPECT_NE(error.reason().find("\"T\""), std::string::npos) << "names the table: " << error.reason();
    }
  }
}

// The unused-bytes field of TDEF pages, as found in Access files: a 708-byte definition on
// one page reports 3380; a 5365-byte one reports 0 on its first page and 2811 on the second.
TEST(TableDefinitionPages, FreeSpaceFieldAndContinuationAsAccessWritesThem) {
  std::vector<uint8_t> small(708, 0xAB), page(4096);
  ASSERT_EQ(TableDefinitionPageCount(small.size()), 1u);
  WriteTableDefinitionPage(small, 0, kNoPage, page.data());
  EXPECT_EQ(page[0], 0x02);
  EXPECT_EQ(page[1], 0x01);
  EXPECT_EQ(GetU16(page.data() + 2), 3380);
  EXPECT_EQ(GetU32(page.data() + 4), 0u);
  EXPECT_EQ(page[8], 0xAB);
  EXPECT_EQ(page[707], 0xAB);
  EXPECT_EQ(page[708], 0x00);

  std::vector<uint8_t> large(5365);
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<uint8_t>(i * 7);
  ASSERT_EQ(TableDefinitionPageCount(large.size()), 2u);
  WriteTableDefinitionPage(large, 0, PageNumber(77), page.data());
  EXPECT_EQ(GetU16(page.data() + 2), 0);
  EXPECT_EQ(GetU32(page.data() + 4), 77u);
  EXPECT_EQ(page[4095], large[4095]);
  WriteTableDefinitionPage(large, 1, kNoPage, page.data());
  EXPECT_EQ(GetU16(page.data() + 2), 2811);
  EXPECT_EQ(GetU32(page.data() + 4), 0u);
  // The second page continues the buffer right after its own 8-byte header.
  EXPECT_EQ(page[8], large[4096]);
  EXPECT_EQ(page[8 + 5365 - 4096 - 1], large[5364]);
  EXPECT_EQ(TableDefinitionPageCount(4096), 1u);
  EXPECT_EQ(TableDefinitionPageCount(4097), 2u);
  EXPECT_EQ(TableDefinitionPageCount(4096 + 4088), 2u);
  EXPECT_EQ(TableDefinitionPageCount(4096 + 4089), 3u);
}

}  // namespace
