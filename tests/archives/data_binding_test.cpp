// A binding's lookups: the count the whole statement gives, the statement prepared once while
// its two parts stay the same, the binding's record set left as it was, and the database
// reopened as Refresh would reopen it.
#include "archives/data_binding.h"

#include <gtest/gtest.h>

#include "engine/base/error.h"
#include "tests/support/memory_database.h"

namespace archives {
namespace {

constexpr std::u16string_view kBefore = u"Select * From Articoli where [Codice Articolo]='";
constexpr std::u16string_view kAfter = u"';";

// A database in memory that counts the lookups prepared on it.
class CountingDatabase : public testsupport::MemoryDatabase {
 public:
  std::unique_ptr<engine::PreparedLookup> PrepareLookup(std::u16string_view before,
                                                        std::u16string_view after) override {
    ++prepared;
    return MemoryDatabase::PrepareLookup(before, after);
  }
  int prepared = 0;
};

TEST(DataBindingLookups, CountWhatTheWholeStatementGivesPreparingEachShapeOnce) {
  auto owned = std::make_unique<CountingDatabase>();
  CountingDatabase& database = *owned;
  database.AddTable(u"Articoli", {{u"Codice Articolo"}, {u"Categoria"}});
  database.AddRow(u"Articoli", {engine::Value::Text(u"A1"), engine::Value::Text(u"Vini")});
  database.AddRow(u"Articoli", {engine::Value::Text(u"L'ORO"), engine::Value::Text(u"Vini")});
  DataBinding binding(engine::OpenMode::ReadWrite, engine::TextLocale::Italian());
  binding.DatabaseName = u"memoria.mdb";
  binding.Attach(std::move(owned));
  binding.RecordSource = u"Articoli";
  binding.Refresh();
  engine::Recordset* bound = &binding.Recordset();

  struct Ask {
    std::u16string_view before, literal, after;
    long count;
    int prepared;  // lookups prepared so far
  };
  const Ask asks[] = {
      {kBefore, u"A1", kAfter, 1, 1},
      {kBefore, u"A2", kAfter, 0, 1},
      {kBefore, u"L''ORO", kAfter, 1, 1},
      {u"Select * From Articoli where [Categoria]='", u"Vini", kAfter, 1, 2},  // 1: as a fresh set counts
      {kBefore, u"A1", kAfter, 1, 3},
  };
  for (const Ask& ask : asks) {
    SCOPED_TRACE(engine::ToUtf8(ask.literal));
    EXPECT_EQ(binding.CountRecords(ask.before, ask.literal, ask.after), ask.count);
    EXPECT_EQ(database.prepared, ask.prepared);
    EXPECT_EQ(database.opened_sources().back(),
              std::u16string(ask.before) + std::u16string(ask.literal) + std::u16string(ask.after));
    EXPECT_EQ(&binding.Recordset(), bound) << "the binding's record set stays";
  }
}

TEST(DataBindingLookups, ReopenTheDatabaseAsRefreshWouldAndFailAsItWould) {
  DataBinding binding(engine::OpenMode::ReadOnly, engine::TextLocale::Italian());
  binding.DatabaseName = u"memoria.mdb";
  auto database = std::make_unique<testsupport::MemoryDatabase>();
  database->AddTable(u"Articoli", {{u"Codice Articolo"}});
  binding.Attach(std::move(database));
  binding.RecordSource = u"Articoli";
  binding.Refresh();
  EXPECT_EQ(binding.CountRecords(kBefore, u"A1", kAfter), 0);
  // Another file named: the lookup opens it, as Refresh would, and the old record set goes.
  binding.DatabaseName = u"/nessuna/cartella/listini.mdb";
  EXPECT_THROW(binding.CountRecords(kBefore, u"A1", kAfter), engine::Error);
  EXPECT_THROW(binding.Recordset(), engine::Error);
  EXPECT_THROW(binding.Database(), engine::Error);
}

}  // namespace
}  // namespace archives
