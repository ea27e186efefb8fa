// Relationships kept as Jet keeps them: read from MSysRelationships of Access's own files
// (Jet 3 and Jet 4) and compared with mdbtools; on a copy of indexTestV2000.mdb, DELETE *
// cascading or keeping rows and inserts refused; on a price list made here with a category
// table and an orders table, related by our own writer and read back by mdb-reader.
#include <gtest/gtest.h>

#include <map>

#include "engine/base/error.h"
#include "engine/jet/catalog/catalog.h"
#include "engine/jet/catalog/relationships.h"
#include "engine/jet/create/database_creator.h"
#include "engine/jet/create/relationship_creator.h"
#include "engine/jet/create/table_creator.h"
#include "engine/jet/storage/pager.h"
#include "tests/engine/jet/jet_test_util.h"
#include "tests/support/files.h"
#include "tests/support/jet_check.h"

namespace fs = std::filesystem;
using engine::Value;
using namespace testsupport;
using namespace engine::jet;

namespace {

// A column's values in row order, as the dump writes them.
std::vector<std::u16string> ColumnOf(engine::Database& database, const std::u16string& table,
                                     const std::u16string& column) {
  std::vector<std::u16string> values;
  auto records = database.OpenRecordset(table);
  for (; !records->Eof(); records->MoveNext()) {
    const Value value = records->GetValue(column);
    values.push_back(value.is_null() ? u"Null" : value.ToText(engine::TextLocale::English()));
  }
  return values;
}

std::vector<Relationship> RelationshipsOf(const fs::path& file) {
  auto pager = Pager::Open(file, engine::OpenMode::ReadOnly);
  const ReadHold read(*pager);
  const TextDecoder text(pager->format().version, pager->header().code_page, file.string());
  return ReadRelationships(*pager, text, ReadCatalog(*pager, text));
}

// Access's own file in both versions: the same tables, rows and relationships.
constexpr const char* kIndexTestFiles[] = {"jet/V2000/indexTestV2000.mdb", "jet/V1997/indexTestV1997.mdb"};

template <typename Case, size_t N>
std::vector<std::pair<Case, std::string>> EveryCaseInBothFiles(const Case (&cases)[N]) {
  std::vector<std::pair<Case, std::string>> all;
  for (const char* file : kIndexTestFiles) {
    for (const Case& c : cases) all.emplace_back(c, file);
  }
  return all;
}

}  // namespace

// Every column pair as mdb-export lists the rows: name, flags, place, and the two sides.
TEST(Relationships, ReadAsMdbtoolsReadsThemInJet3AndJet4) {
  REQUIRE_FIXTURES();
  for (const char* name : {"jet/V1997/indexTestV1997.mdb", "jet/V2000/indexTestV2000.mdb"}) {
    SCOPED_TRACE(name);
    const fs::path file = Fixture(name);
    std::vector<std::string> ours;
    for (const Relationship& r : RelationshipsOf(file)) {
      for (size_t i = 0; i < r.columns.size(); ++i) {
        ours.push_back(engine::ToUtf8(r.name) + "\t" + std::to_string(r.flags) + "\t" + std::to_string(i) + "\t" +
                       engine::ToUtf8(r.table) + "\t" + engine::ToUtf8(r.columns[i]) + "\t" +
                       engine::ToUtf8(r.referenced_table) + "\t" + engine::ToUtf8(r.referenced_columns[i]));
      }
    }
    int status = 0;
    const std::string exported =
        RunCommand("mdb-export -H -Q -d '\t' " + Quoted(file) + " MSysRelationships | cut -f1,2,4- | sort", &status);
    ASSERT_EQ(status, 0);
    std::sort(ours.begin(), ours.end());
    EXPECT_EQ(SplitLines(exported), ours);
    EXPECT_FALSE(ours.empty());
  }
}

// Table1.otherfk1 names Table2.id and cascades deletes; Table1.otherfk2 names Table3.id and
// does not.
TEST(Relationships, DeleteAllInAnAccessFileCascadesOrKeepsAsJet) {
  REQUIRE_FIXTURES();
  struct Case {
    std::u16string statement;
    long deleted, kept;
    std::vector<std::u16string> kept_for;
    std::map<std::u16string, long> cascaded;
    std::vector<std::u16string> table1_ids, table2_ids, table3_ids;  // after
  };
  const Case cases[] = {
      {u"DELETE * From Table2;", 3, 0, {}, {{u"Table1", 4}}, {}, {}, {u"10", u"11", u"12", u"13"}},
      {u"DELETE * From Table3;", 1, 3, {u"Table1"}, {}, {u"0", u"1", u"2", u"3"}, {u"0", u"1", u"2"},
       {u"10", u"11", u"13"}},
      {u"DELETE * From Table1;", 4, 0, {}, {}, {}, {u"0", u"1", u"2"}, {u"10", u"11", u"12", u"13"}},
  };
  for (const auto& [c, original] : EveryCaseInBothFiles(cases)) {
    SCOPED_TRACE(engine::ToUtf8(c.statement) + " in " + original);
    TempDir dir;
    const fs::path file = dir.Copy(Fixture(original));
    {
      auto database = OpenForWriting(file);
      const engine::StatementResult result = database->Execute(c.statement);
      EXPECT_EQ(result.deleted, c.deleted);
      EXPECT_EQ(result.kept, c.kept);
      EXPECT_EQ(result.kept_for, c.kept_for);
      std::map<std::u16string, long> cascaded;
      for (const auto& cascade : result.cascaded) cascaded[cascade.table] = cascade.rows;
      EXPECT_EQ(cascaded, c.cascaded);
    }
    EXPECT_EQ(CheckProblems(file), "");
    auto database = OpenForReading(file);
    EXPECT_EQ(ColumnOf(*database, u"Table1", u"id"), c.table1_ids);
    EXPECT_EQ(ColumnOf(*database, u"Table2", u"id"), c.table2_ids);
    EXPECT_EQ(ColumnOf(*database, u"Table3", u"id"), c.table3_ids);
    // mdbtools reads the same rows (deleted slots skipped, kept ones there).
    EXPECT_EQ(SplitLines(RunCommand("mdb-export -H " + Quoted(file) + " Table3 | cut -d, -f1")), [&] {
      std::vector<std::string> ids;
      for (const std::u16string& id : c.table3_ids) ids.push_back(engine::ToUtf8(id));
      return ids;
    }());
  }
}

TEST(Relationships, ANewRowMustNameARowThatIsThere) {
  REQUIRE_FIXTURES();
  struct Case {
    Value otherfk1, otherfk2;
    std::string refusal;  // empty: accepted
  };
  const Case cases[] = {
      {Value::Integer(99), Value::Null(), "Il valore «99» del campo otherfk1 non è nella tabella Table2."},
      {Value::Null(), Value::Null(), ""},
      {Value::Integer(2), Value::Integer(12), ""},
      {Value::Integer(2), Value::Integer(14), "Il valore «14» del campo otherfk2 non è nella tabella Table3."},
      // A text converts to the number the referenced column holds, as Jet converts it.
      {Value::Text(u"1"), Value::Text(u"13"), ""},
  };
  for (const char* original : kIndexTestFiles) {
    SCOPED_TRACE(original);
    TempDir dir;
    const fs::path file = dir.Copy(Fixture(original));
    long accepted = 0;
    {
      auto database = OpenForWriting(file);
      auto records = database->OpenRecordset(u"Table1");
      int id = 100;
      for (const Case& c : cases) {
        records->AddNew();
        records->SetValue(u"id", Value::Integer(id++));
        records->SetValue(u"otherfk1", c.otherfk1);
        records->SetValue(u"otherfk2", c.otherfk2);
        try {
          records->Update();
          EXPECT_EQ(c.refusal, "") << "accepted";
          ++accepted;
        } catch (const engine::Error& error) {
          EXPECT_EQ(error.reason(), c.refusal);
          EXPECT_EQ(error.kind(), engine::ErrorKind::RuleViolation);
        }
      }
    }
    EXPECT_EQ(CheckProblems(file), "");
    auto database = OpenForReading(file);
    EXPECT_EQ(CountRows(*database, u"Table1"), 4 + accepted);
  }
}

// Articoli.Categoria names Categorie.Nome; Ordini.IdArticolo names Articoli.IdArticolo,
// cascading or not; Righe.IdOrdine names Ordini.IdOrdine without cascading, so an article
// whose order has a line stays with that order when the orders cascade.
TEST(Relationships, APriceListWithCategoriesAndOrders) {
  struct Case {
    const char* name;
    bool orders_cascade;
    bool lines;
    long deleted, kept;
    std::vector<std::u16string> articles_left;
    long orders_left;
  };
  // Orders name articles 2, 2, 5 and 9 (orders 1 to 4); the line names order 3 (article 5).
  const Case cases[] = {
      {"orders keep their articles", false, false, 7, 3, {u"2", u"5", u"9"}, 4},
      {"orders go with their articles", true, false, 10, 0, {}, 0},
      {"a line keeps its order and so the article", true, true, 9, 1, {u"5"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const fs::path file = dir.path() / "listini.mdb";
    CreateListiniDatabase(file);
    CreateTable(file, {u"Categorie", {{u"Nome", ColumnType::Text, 50}}, {{u"PrimaryKey", {{u"Nome"}}, true}}});
    const ColumnSpec id{u"IdOrdine", ColumnType::Long, 0, true};
    CreateTable(file, {u"Ordini",
                       {id, {u"IdArticolo", ColumnType::Long}},
                       {{u"PrimaryKey", {{u"IdOrdine"}}, true}, {u"IdArticolo", {{u"IdArticolo"}}}}});
    CreateTable(file, {u"Righe", {{u"IdOrdine", ColumnType::Long}}, {{u"IdOrdine", {{u"IdOrdine"}}}}});
    CreateRelationship(file, {u"CategorieArticoli", 0, u"Articoli", {u"Categoria"}, u"Categorie", {u"Nome"}});
    CreateRelationship(file, {u"ArticoliOrdini",
                              c.orders_cascade ? kRelationCascadeDeletes : 0u,
                              u"Ordini",
                              {u"IdArticolo"},
                              u"Articoli",
                              {u"IdArticolo"}});
    CreateRelationship(file, {u"OrdiniRighe", 0, u"Righe", {u"IdOrdine"}, u"Ordini", {u"IdOrdine"}});
    {
      auto database = OpenForWriting(file);
      auto add = [&](const std::u16string& table, std::vector<std::pair<std::u16string, Value>> values) {
        auto records = database->OpenRecordset(table);
        records->AddNew();
        for (auto& [column, value] : values) records->SetValue(column, value);
        records->Update();
      };
      add(u"Categorie", {{u"Nome", Value::Text(u"Giochi")}});
      for (int i = 1; i <= 10; ++i) {
        // Jet compares through the index: letter case and trailing spaces do not count.
        add(u"Articoli", {{u"Codice Articolo", Value::Text(u"A" + engine::FromUtf8(std::to_string(i)))},
                          {u"Categoria", Value::Text(i % 2 ? u"Giochi" : u"GIOCHI ")}});
      }
      EXPECT_THROW(add(u"Articoli", {{u"Categoria", Value::Text(u"Giocattoli")}}), engine::Error);
      for (int article : {2, 2, 5, 9}) add(u"Ordini", {{u"IdArticolo", Value::Integer(article)}});
      if (c.lines) add(u"Righe", {{u"IdOrdine", Value::Integer(3)}});
      const engine::StatementResult result = database->Execute(u"DELETE * From Articoli;");
      EXPECT_EQ(result.deleted, c.deleted);
      EXPECT_EQ(result.kept, c.kept);
      EXPECT_EQ(result.kept_for, (c.kept > 0 ? std::vector<std::u16string>{c.lines ? u"Righe" : u"Ordini"}
                                             : std::vector<std::u16string>{}));
      EXPECT_EQ(CountRows(*database, u"Ordini"), c.orders_left);
    }
    EXPECT_EQ(CheckProblems(file), "");
    auto database = OpenForReading(file);
    EXPECT_EQ(ColumnOf(*database, u"Articoli", u"IdArticolo"), c.articles_left);
    // Independent readers see the relationships our writer stored. (mdb-schema prints only
    // those Access also recorded in the tables' foreign-key index entries.)
    const std::string exported = RunCommand("mdb-export " + Quoted(file) + " MSysRelationships");
    const std::optional<std::string> theirs = MdbReaderDump(file, "MSysRelationships");
    if (!theirs && RunningInCi()) ADD_FAILURE() << "mdb-reader is not installed";
    for (const char* related : {"CategorieArticoli", "ArticoliOrdini", "OrdiniRighe"}) {
      EXPECT_NE(exported.find(related), std::string::npos) << exported;
      if (theirs) {
        EXPECT_NE(theirs->find(related), std::string::npos) << *theirs;
      }
    }
  }
}

// A table naming its own rows (each part names the one before it) cascades down a chain as
// long as the table: the deletion plan must not grow the stack with it.
TEST(Relationships, ACascadeAsLongAsTheTable) {
  TempDir dir;
  const fs::path file = dir.path() / "parti.mdb";
  CreateListiniDatabase(file);
  const ColumnSpec id{u"Id", ColumnType::Long};
  CreateTable(file, {u"Parti", {id, {u"Padre", ColumnType::Long}}, {{u"PrimaryKey", {{u"Id"}}, true}}});
  CreateRelationship(file, {u"PartiParti", kRelationCascadeDeletes, u"Parti", {u"Padre"}, u"Parti", {u"Id"}});
  constexpr int kParts = 100000;
  auto database = OpenForWriting(file);
  {
    auto records = database->OpenRecordset(u"Parti");
    for (int i = 1; i <= kParts; ++i) {
      records->AddNew();
      records->SetValue(u"Id", Value::Integer(i));
      records->SetValue(u"Padre", i == 1 ? Value::Null() : Value::Integer(i - 1));
      records->Update();
    }
  }
  const engine::StatementResult result = database->Execute(u"DELETE * From Parti;");
  EXPECT_EQ(result.deleted, kParts);
  EXPECT_EQ(result.kept, 0);
  EXPECT_EQ(CountRows(*database, u"Parti"), 0);
}
