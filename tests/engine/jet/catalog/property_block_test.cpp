// Property blocks as Access wrote them (Jet 3 and Jet 4 files), and the defaults and rules
// the price list with field properties gets from its block.
#include <gtest/gtest.h>

#include <ctime>

#include "engine/text/case_fold.h"
#include "engine/base/error.h"
#include "engine/jet/catalog/catalog.h"
#include "engine/jet/catalog/property_block.h"
#include "engine/jet/catalog/table_definition_reader.h"
#include "engine/jet/database/jet_database.h"
#include "engine/jet/rules/table_rules.h"
#include "engine/jet/storage/pager.h"
#include "tests/engine/jet/jet_test_util.h"
#include "tests/support/files.h"

namespace {

using engine::SameName;
using engine::Value;
using namespace engine::jet;

struct OpenTable {
  std::unique_ptr<Pager> pager;
  std::unique_ptr<TextDecoder> text;
  std::vector<CatalogEntry> catalog;

  explicit OpenTable(const std::string& file)
      : pager(Pager::Open(testsupport::Fixture(file), engine::OpenMode::ReadOnly)),
        text(std::make_unique<TextDecoder>(pager->format().version, pager->header().code_page, file)),
        catalog(ReadCatalog(*pager, *text)) {}

  const CatalogEntry& Entry(std::u16string_view table) const {
    for (const CatalogEntry& entry : catalog) {
      if (SameName(entry.name, table)) return entry;
    }
    throw std::runtime_error("no table " + engine::ToUtf8(table));
  }
  PropertyBlock Block(std::u16string_view table) const {
    const std::vector<uint8_t> bytes = ReadPropertyBytes(*pager, *text, Entry(table));
    return DecodePropertyBlock(bytes.data(), bytes.size(), *text, "test");
  }
  TableDefinition Definition(std::u16string_view table) const {
    return ReadTableDefinition(*pager, *text, Entry(table).tdef_page, Entry(table).name);
  }
};

TEST(PropertyBlock, AccessMadeBlocks) {
  REQUIRE_FIXTURES();
  struct Case {
    std::string file;
    std::u16string table, column;  // empty column: the table's own properties
    std::u16string property;
    Value expected;
  };
  const Case cases[] = {
      {"regole/listini-proprieta.mdb", u"Articoli", u"Prezzo", u"ValidationRule", Value::Text(u">=0")},
      {"regole/listini-proprieta.mdb", u"Articoli", u"Prezzo", u"ValidationText", Value::Text(u"Il prezzo non può essere negativo.")},
      {"regole/listini-proprieta.mdb", u"Articoli", u"Categoria", u"DefaultValue", Value::Text(u"\"Generale\"")},
      {"regole/listini-proprieta.mdb", u"Articoli", u"Data Inserimento", u"DefaultValue", Value::Text(u"=Date()")},
      {"regole/listini-proprieta.mdb", u"Articoli", u"Codice Articolo", u"Required", Value::Flag(true)},
      {"regole/listini-proprieta.mdb", u"Articoli", u"Fornitore", u"AllowZeroLength", Value::Flag(false)},
      {"jet/V2000/compIndexTestV2000.mdb", u"Table1", u"CD_AGENTE", u"DefaultValue", Value::Text(u"0")},
      {"jet/V2000/compIndexTestV2000.mdb", u"Table1", u"RS_AGENTE", u"AllowZeroLength", Value::Flag(true)},
      {"jet/V2000/compIndexTestV2000.mdb", u"Table1", u"", u"DefaultView", Value::Integer(2)},
      {"jet/V2000/fixedTextTestV2000.mdb", u"users", u"i_user_id", u"Required", Value::Flag(true)},
      {"jet/V2000/delColTestV2000.mdb", u"Table1", u"id", u"ColumnWidth", Value::Integer(-1)},
      {"jet/V1997/testIndexCodesV1997.mdb", u"Table13", u"data", u"DefaultValue", Value::Text(u"GenGUID()")},
  };
  for (const Case& c : cases) {
    const PropertyBlock block = OpenTable(c.file).Block(c.table);
    const PropertyMap* map = c.column.empty() ? block.Table() : block.Column(c.column);
    ASSERT_NE(map, nullptr) << c.file << " " << engine::ToUtf8(c.column);
    const Property* property = map->Find(c.property);
    ASSERT_NE(property, nullptr) << c.file << " " << engine::ToUtf8(c.column) << " " << engine::ToUtf8(c.property);
    EXPECT_EQ(property->value, c.expected) << c.file << " " << engine::ToUtf8(c.column) << " " << engine::ToUtf8(c.property);
  }
}

TEST(PropertyBlock, EveryTableOfEveryFixtureDecodes) {
  REQUIRE_FIXTURES();
  int maps = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(testsupport::FixturesDir())) {
    if (entry.path().extension() != ".mdb" || entry.path().filename().string().starts_with("password")) continue;
    const std::string file = std::filesystem::relative(entry.path(), testsupport::FixturesDir()).string();
    const OpenTable open(file);
    for (const CatalogEntry& table : open.catalog) {
      EXPECT_NO_THROW(maps += static_cast<int>(open.Block(table.name).maps.size())) << file << " " << engine::ToUtf8(table.name);
    }
  }
  EXPECT_GT(maps, 100);
}

TEST(PropertyBlock, DamagedBlocksAreRefused) {
  const TextDecoder text(JetVersion::Jet4, 1252, "test");
  const std::vector<std::vector<uint8_t>> damaged = {
      {'X', 'Y', 'Z', 0},                                             // unknown signature
      {'M', 'R', '2', 0, 40, 0, 0, 0, 0x80, 0},                       // a chunk longer than the block
      {'M', 'R', '2', 0, 3, 0, 0, 0, 0x80, 0},                        // a chunk shorter than its header
      {'M', 'R', '2', 0, 20, 0, 0, 0, 0x01, 0, 4, 0, 0, 0, 9, 0, 1, 1, 0, 0},  // a value naming no property
  };
  for (const auto& bytes : damaged) {
    EXPECT_THROW(DecodePropertyBlock(bytes.data(), bytes.size(), text, "test"), engine::Error);
  }
}

// The price list with field properties: what a new record starts with, and which records
// storing refuses, with the reason the user reads.
class PriceListRules : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_FIXTURES();
    open_ = std::make_unique<OpenTable>("regole/listini-proprieta.mdb");
    table_ = open_->Definition(u"Articoli");
    rules_ = TableRules(table_, open_->Block(u"Articoli"));
  }
  int Position(std::u16string_view column) const {
    for (size_t i = 0; i < table_.columns.size(); ++i) {
      if (SameName(table_.columns[i].name, column)) return static_cast<int>(i);
    }
    return -1;
  }
  std::unique_ptr<OpenTable> open_;
  TableDefinition table_;
  TableRules rules_;
};

TEST_F(PriceListRules, ANewRecordStartsWithTheDefaults) {
  const std::vector<Value> record = rules_.NewRecord(table_, engine::TextLocale::Italian());
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const Value today = Value::DateTime(engine::FromCivil({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday}));
  EXPECT_EQ(record[Position(u"Prezzo")], Value::Money({0}));
  EXPECT_EQ(record[Position(u"Categoria")], Value::Text(u"Generale"));
  EXPECT_EQ(record[Position(u"Data Inserimento")], today);
  EXPECT_EQ(record[Position(u"Attivo")], Value::Flag(true));
  EXPECT_EQ(record[Position(u"Fornitore")], Value::Text(u"Interno"));
  EXPECT_EQ(record[Position(u"Descrizione")], Value::Null());
  EXPECT_EQ(record[Position(u"Prezzo 2")], Value::Numeric({false, 4, 0}));  // 0 at the column's scale
}

TEST_F(PriceListRules, StoringRefusesWhatBreaksARule) {
  struct Case {
    std::u16string column;
    Value value;
    std::string reason;  // empty: the record is stored
  };
  const Case cases[] = {
      {u"Prezzo", Value::Money({25000}), ""},
      {u"Prezzo", Value::Money({-1}), "Il prezzo non può essere negativo."},
      {u"Prezzo", Value::Null(), "Il prezzo non può essere negativo."},  // only True lets a record through
      {u"Descrizione", Value::Null(), "Il campo Descrizione non può essere vuoto."},
      {u"Codice Articolo", Value::Text(u""), "Il campo Codice Articolo non può contenere un testo vuoto."},
      {u"Fornitore", Value::Text(u""), "Il campo Fornitore non può contenere un testo vuoto."},
      {u"Note", Value::Text(u""), ""},  // no AllowZeroLength property: an empty memo is fine
  };
  for (const Case& c : cases) {
    std::vector<Value> record(table_.columns.size());
    record[Position(u"Codice Articolo")] = Value::Text(u"PR-9999");
    record[Position(u"Descrizione")] = Value::Text(u"Articolo");
    record[Position(u"Prezzo")] = Value::Money({0});
    record[Position(c.column)] = c.value;
    if (c.reason.empty()) {
      EXPECT_NO_THROW(rules_.Check(table_, record, engine::TextLocale::Italian())) << engine::ToUtf8(c.column);
      continue;
    }
    try {
      rules_.Check(table_, record, engine::TextLocale::Italian());
      ADD_FAILURE() << "stored: " << engine::ToUtf8(c.column);
    } catch (const engine::Error& error) {
      EXPECT_EQ(error.kind(), engine::ErrorKind::RuleViolation);
      EXPECT_EQ(error.reason(), c.reason);
      // The refusal names its column and value, and says whether the reason is the table's own text.
      EXPECT_EQ(error.column(), engine::ToUtf8(c.column));
      EXPECT_EQ(error.value(), engine::ToUtf8(c.value.ToText(engine::TextLocale::Italian())));
      EXPECT_EQ(error.refusal() == engine::Refusal::ValidationText, c.column == u"Prezzo");
    }
  }
}

// Rules without a text of their own, a table rule, and rules this program cannot read.
TEST_F(PriceListRules, ReasonsWithoutAValidationText) {
  auto block_with = [](std::u16string map_name, bool is_table, std::u16string rule) {
    PropertyBlock block;
    PropertyMap map;
    map.name = std::move(map_name);
    map.is_table = is_table;
    map.properties.push_back({u"ValidationRule", 10, Value::Text(std::move(rule))});
    block.maps.push_back(std::move(map));
    return block;
  };
  struct Case {
    PropertyBlock block;
    std::string reason;
  };
  const Case cases[] = {
      {block_with(u"Prezzo", false, u">=100"), "Il valore «10» del campo Prezzo non rispetta la regola >=100."},
      {block_with(u"", true, u"[Prezzo 2]<=[Prezzo]"),
       "Il record non rispetta la regola [Prezzo 2]<=[Prezzo] della tabella Articoli."},
      {block_with(u"Prezzo", false, u">0 Xor <5"),
       "Il record non può essere salvato: questo programma non sa verificare la regola >0 Xor <5 del campo Prezzo."},
  };
  for (const Case& c : cases) {
    std::vector<Value> record(table_.columns.size());
    record[Position(u"Prezzo")] = Value::Money({10 * 10000});
    record[Position(u"Prezzo 2")] = Value::Double(12);
    try {
      TableRules(table_, c.block).Check(table_, record, engine::TextLocale::Italian());
      ADD_FAILURE() << "stored: " << c.reason;
    } catch (const engine::Error& error) {
      EXPECT_EQ(error.reason(), c.reason);
    }
  }
}

// A refused record takes no autonumber and leaves nothing in the file: the same articles
// stored with and without refused ones in between give the same bytes.
TEST(RefusedRecords, LeaveNoTraceAndKeepWhatCameBefore) {
  REQUIRE_FIXTURES();
  testsupport::TempDir dir;
  auto import = [&](const std::string& name, bool with_refusals) {
    const std::filesystem::path file = dir.path() / name;
    std::filesystem::copy_file(testsupport::Fixture("regole/listini-proprieta.mdb"), file);
    auto database = OpenJetDatabase(file, engine::OpenMode::ReadWrite, engine::TextLocale::English());
    auto records = database->OpenRecordset(u"Articoli");
    for (int i = 0; i < 3; ++i) {
      if (with_refusals) {
        // A negative price with a memo long enough for pages of its own, then an empty supplier.
        records->AddNew();
        records->SetValue(u"Codice Articolo", Value::Text(u"RIF-" + engine::FromUtf8(std::to_string(i))));
        records->SetValue(u"Descrizione", Value::Text(u"Rifiutato"));
        records->SetValue(u"Prezzo", Value::Text(u"-1"));
        records->SetValue(u"Note", Value::Text(std::u16string(5000, u'n')));
        EXPECT_THROW(records->Update(), engine::Error);
        records->AddNew();
        records->SetValue(u"Codice Articolo", Value::Text(u"RIF-X"));
        records->SetValue(u"Descrizione", Value::Text(u"Rifiutato"));
        records->SetValue(u"Fornitore", Value::Text(u""));
        EXPECT_THROW(records->Update(), engine::Error);
      }
      records->AddNew();
      records->SetValue(u"Codice Articolo", Value::Text(u"NUOVO-" + engine::FromUtf8(std::to_string(i))));
      records->SetValue(u"Descrizione", Value::Text(u"Accettato"));
      records->Update();
    }
    database.reset();
    return testsupport::ReadBytes(file);
  };
  EXPECT_TRUE(import("senza-rifiuti.mdb", false) == import("con-rifiuti.mdb", true));
}

}  // namespace
