// Prepared lookups against the record sets they stand for: for every shape of statement and
// every literal, a prepared lookup counts what a set opened on the whole statement counts, or
// refuses it with the same reason; and a lookup prepared before a change sees it.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "engine/base/error.h"
#include "tests/engine/jet/jet_test_util.h"
#include "tests/support/fixtures.h"

namespace {

using engine::Database;

constexpr std::u16string_view kBefore = u"Select * From Articoli where [Codice Articolo]='";
constexpr std::u16string_view kAfter = u"';";

// The count, or the reason it was refused.
struct Answer {
  std::optional<long> count;
  std::string refusal;
  bool operator==(const Answer&) const = default;
};

Answer Ask(const std::function<long()>& count) {
  try {
    return {count(), {}};
  } catch (const engine::Error& error) {
    return {std::nullopt, error.what()};
  }
}

std::string Show(const Answer& answer) {
  return answer.count ? std::to_string(*answer.count) : "refused: " + answer.refusal;
}

// Each literal through a lookup prepared once, and through a set opened on the whole statement.
void ExpectSameAnswers(Database& database, std::u16string_view before, std::u16string_view after,
                       const std::vector<std::u16string>& literals) {
  const auto prepared = database.PrepareLookup(before, after);
  for (const std::u16string& literal : literals) {
    SCOPED_TRACE(engine::ToUtf8(std::u16string(before) + literal + std::u16string(after)));
    const Answer opened = Ask([&] {
      return database.OpenRecordset(std::u16string(before) + literal + std::u16string(after))->RecordCount();
    });
    const Answer asked = Ask([&] { return prepared->RecordCount(literal); });
    EXPECT_EQ(asked, opened) << Show(asked) << " / " << Show(opened);
  }
}

const std::vector<std::u16string> kLiterals = {
    u"ART-000777", u"art-000777", u"ART-000777   ", u" ART-000777",
    u"NESSUNO",    u"",           u"L''ORO-12",     u"L'ORO-12",
    u"'",          u"''",         u"ART-000777'",   u"ART-000777' or 'x'='x",
    u"CAFFÈ",      u"ART-000010",
};

TEST(PreparedLookup, CountsWhatTheWholeStatementCountsForEveryShape) {
  REQUIRE_FIXTURES();
  struct Case {
    const char* name;
    std::u16string before, after;
  };
  const Case cases[] = {
      {"the import's statement", std::u16string(kBefore), std::u16string(kAfter)},
      {"keywords in other letter cases, no ';'", u"select * FROM [articoli] WHERE [codice articolo]='", u"'"},
      {"spaces around the literal's parts", u"Select * From Articoli where  Categoria = '", u"' ;"},
      {"the apostrophes outside the parts", u"Select * From Articoli where [Codice Articolo]=", u";"},
      {"text after the literal", std::u16string(kBefore), u"' and more;"},
      {"no WHERE", u"Select * From Articoli", u""},
      {"a table that is not there", u"Select * From Listino where [Codice Articolo]='", u"';"},
      {"a column that is not there", u"Select * From Articoli where [Codice]='", u"';"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (engine::OpenMode mode : {engine::OpenMode::ReadOnly, engine::OpenMode::ReadWrite}) {
      testsupport::TempDir folder;
      auto database = engine::jet::OpenJetDatabase(folder.Copy(testsupport::Listini("listini-pieno.mdb")), mode,
                                                   engine::TextLocale::Italian());
      std::vector<std::u16string> literals = kLiterals;
      if (c.before.back() != u'\'') literals = {u"'ART-000777'", u"'NESSUNO'", u"ART-000777", u""};
      ExpectSameAnswers(*database, c.before, c.after, literals);
    }
  }
}

TEST(PreparedLookup, SeesTheRecordsAddedAfterItWasPrepared) {
  REQUIRE_FIXTURES();
  testsupport::TempDir folder;
  auto database = testsupport::OpenForWriting(folder.Copy(testsupport::Listini("listini-pieno.mdb")));
  const auto prepared = database->PrepareLookup(kBefore, kAfter);
  struct Step {
    std::u16string added;  // added before the lookup, when not empty
    std::u16string literal;
    long expected;
  };
  const Step steps[] = {
      {u"", u"NUOVO-1", 0},        {u"NUOVO-1", u"NUOVO-1", 1},
      {u"", u"nuovo-1", 1},        {u"L'ORO-NUOVO", u"L''ORO-NUOVO", 1},
      {u"NUOVO-2", u"NUOVO-1", 1},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(engine::ToUtf8(step.added + u" / " + step.literal));
    if (!step.added.empty()) {
      auto records = database->OpenRecordset(u"Articoli");
      records->AddNew();
      records->SetValue(u"Codice Articolo", engine::Value::Text(step.added));
      records->Update();
    }
    EXPECT_EQ(prepared->RecordCount(step.literal), step.expected);
  }
  database->Commit();
  EXPECT_EQ(prepared->RecordCount(u"NUOVO-2"), 1) << "after the commit too";
}

}  // namespace
