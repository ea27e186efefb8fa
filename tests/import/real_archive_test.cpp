// The import run on real files: fonte.mdb's "Prodotti" into copies of listini.mdb (empty)
// and listini-pieno.mdb (5,000 articles), through the Jet engine, and `archivi import`.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "engine/base/error.h"
#include "engine/database/database.h"
#include "engine/open/open_database.h"
#include "import/import_run.h"
#include "import/italian_texts.h"
#include "import/text_rules.h"
#include "engine/jet/create/relationship_creator.h"
#include "engine/jet/create/table_creator.h"
#include "tests/support/files.h"
#include "tests/import/real_files.h"
#include "tests/support/fixtures.h"
#include "tests/support/scripted_window.h"

namespace testsupport {
namespace {

namespace fs = std::filesystem;
using engine::Value;

const engine::TextLocale kLocale = engine::TextLocale::Italian();

std::u16string Text(const Value& value) { return value.ToText(kLocale); }
bool Passes(const Value& value) { return !value.is_null() && !Text(value).empty(); }

// The window bound to fonte.mdb's "Prodotti", every slot chosen.
struct BoundWindow : BoundFiles {
  explicit BoundWindow(const fs::path& destination)
      : BoundFiles(destination, Listini("fonte.mdb"), u"Prodotti",
                   {u"Categoria", u"Codice", u"Nome", u"Nome", u"Prezzo", u"Prezzo", u"Immagine"}) {}
};

enum Prodotti { kCodice, kNome, kPrezzo, kCategoria, kImmagine };
enum Articoli { kCodiceArticolo = 1, kDescrizione, kCatalogo, kPrezzoAt, kPrezzo2, kCategoriaAt, kData, kImmagineAt };

class RealArchives : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_FIXTURES();
    source_ = ReadTable(Listini("fonte.mdb"), u"Prodotti", kLocale);
    for (const auto& row : source_) null_codes_ += row[kCodice].is_null();
  }
  TempDir dir_;
  std::vector<std::vector<Value>> source_;
  long null_codes_ = 0;
};

// The empty price lists the import writes into: the shared Access 2000 one, and an Access 97
// one the engine makes (taken once the table writer writes Access 97 rows).
class IntoAnEmptyListini : public RealArchives, public ::testing::WithParamInterface<engine::jet::JetVersion> {
 protected:
  void SetUp() override {
    RealArchives::SetUp();
    if (IsSkipped()) return;
    if (GetParam() == engine::jet::JetVersion::Jet4) {
      destination_ = dir_.Copy(Listini("listini.mdb"));
      return;
    }
    destination_ = dir_.path() / "listini.mdb";
    try {
      engine::jet::CreateListiniDatabase(destination_, {0, GetParam()});
    } catch (const engine::Error& error) {
      if (error.kind() != engine::ErrorKind::UnsupportedFormat) throw;
      GTEST_SKIP() << "the table writer does not write Access 97 rows yet: " << error.what();
    }
  }
  fs::path destination_;
};

INSTANTIATE_TEST_SUITE_P(RealArchives, IntoAnEmptyListini,
                         ::testing::Values(engine::jet::JetVersion::Jet4, engine::jet::JetVersion::Jet3),
                         [](const ::testing::TestParamInfo<engine::jet::JetVersion>& version) {
                           return version.param == engine::jet::JetVersion::Jet3 ? "Access97" : "Access2000";
                         });

TEST_P(IntoAnEmptyListini, EachArticleComesFromTheFirstRecordWithItsCode) {
  const fs::path& destination = destination_;
  BoundWindow run(destination);
  const import::ImportResult result = run.Press();
  EXPECT_EQ(run.window.MessageTexts(), std::vector<std::u16string>{std::u16string(import::kImportDone)});
  EXPECT_EQ(result.failed, 0) << result.first_failure;
  EXPECT_EQ(result.without_code, null_codes_);
  EXPECT_EQ(result.added + result.already_present + result.without_code, static_cast<long>(source_.size()));
  EXPECT_GT(result.already_present, 0) << "fonte.mdb has duplicated codes";
  run.state.DataDestinazione.Close();

  std::map<std::u16string, const std::vector<Value>*> first_with_code;
  for (const auto& row : source_) {
    if (!row[kCodice].is_null()) first_with_code.emplace(import::CutToLimit(Text(row[kCodice])), &row);
  }
  const auto stored = ReadTable(destination, u"Articoli", kLocale);
  ASSERT_EQ(static_cast<long>(stored.size()), result.added);
  size_t long_images = 0;
  for (const auto& article : stored) {
    const std::u16string code = article[kCodiceArticolo].is_null() ? u"" : article[kCodiceArticolo].text();
    SCOPED_TRACE(engine::ToUtf8(code));
    ASSERT_TRUE(first_with_code.count(code)) << "stored code from no source record";
    const auto& origin = *first_with_code[code];
    EXPECT_LE(code.size(), import::kTextLimit);
    const auto expect_text = [](const Value& stored_value, const Value& source_value, std::u16string expected) {
      if (Passes(source_value)) {
        EXPECT_EQ(stored_value, Value::Text(expected));
      } else {
        EXPECT_TRUE(stored_value.is_null());
      }
    };
    expect_text(article[kDescrizione], origin[kNome], std::u16string(import::CutToLimit(Text(origin[kNome]))));
    expect_text(article[kCatalogo], origin[kNome], std::u16string(import::CutToLimit(Text(origin[kNome]))));
    expect_text(article[kCategoriaAt], origin[kCategoria], import::CleanCategory(Text(origin[kCategoria])));
    expect_text(article[kImmagineAt], origin[kImmagine], Text(origin[kImmagine]));
    long_images += Passes(origin[kImmagine]) && Text(origin[kImmagine]).size() > 200;
    if (Passes(origin[kPrezzo])) {
      EXPECT_EQ(article[kPrezzoAt], Value::Money(*engine::ParseCurrency(Text(origin[kPrezzo]), kLocale)));
      EXPECT_EQ(article[kPrezzo2], article[kPrezzoAt]);
    } else {
      EXPECT_TRUE(article[kPrezzoAt].is_null());
    }
  }
  EXPECT_GT(long_images, 0u) << "image paths over 200 characters are stored whole";
}

TEST_F(RealArchives, ASecondRunFindsEveryCodeItStored) {
  const fs::path destination = dir_.Copy(Listini("listini.mdb"));
  BoundWindow run(destination);
  const import::ImportResult first = run.Press();
  const import::ImportResult second = run.Press(archives::kAnswerNo);
  EXPECT_EQ(run.window.MessageTexts(),
            (std::vector<std::u16string>{std::u16string(import::kPurgeQuestion), std::u16string(import::kImportDone)}));
  EXPECT_EQ(second.added, 0) << "codes over 50 characters included";
  EXPECT_EQ(second.already_present, static_cast<long>(source_.size()) - null_codes_);
  run.state.DataDestinazione.Close();
  EXPECT_EQ(static_cast<long>(ReadTable(destination, u"Articoli", kLocale).size()), first.added);
}

TEST_F(RealArchives, AFullListiniKeepsItsArticlesOrIsEmptiedFirst) {
  const fs::path into_empty = dir_.Copy(Listini("listini.mdb"));
  BoundWindow reference(into_empty);
  const long distinct = reference.Press().added;
  reference.state.DataDestinazione.Close();

  const auto before = ReadTable(Listini("listini-pieno.mdb"), u"Articoli", kLocale);
  const fs::path kept = dir_.path() / "kept.mdb";
  fs::copy_file(Listini("listini-pieno.mdb"), kept);
  {
    BoundWindow run(kept);
    const import::ImportResult result = run.Press(archives::kAnswerNo);
    EXPECT_EQ(result.failed, 0) << result.first_failure;
    EXPECT_LT(result.added, distinct) << "codes listini-pieno.mdb holds are not added";
    run.state.DataDestinazione.Close();
    const auto after = ReadTable(kept, u"Articoli", kLocale);
    ASSERT_EQ(after.size(), before.size() + result.added);
    for (size_t i = 0; i < before.size(); ++i) ASSERT_EQ(after[i], before[i]) << "article " << i;
  }

  const fs::path emptied = dir_.path() / "emptied.mdb";
  fs::copy_file(Listini("listini-pieno.mdb"), emptied);
  BoundWindow run(emptied);
  const import::ImportResult result = run.Press(archives::kAnswerYes);
  EXPECT_EQ(run.window.MessageTexts(),
            (std::vector<std::u16string>{std::u16string(import::kPurgeQuestion), std::u16string(import::kPurgeDone),
                                         std::u16string(import::kImportDone)}));
  EXPECT_EQ(result.added, distinct);
  run.state.DataDestinazione.Close();
  std::set<std::u16string> emptied_codes, reference_codes;
  for (const auto& row : ReadTable(emptied, u"Articoli", kLocale)) emptied_codes.insert(Text(row[kCodiceArticolo]));
  for (const auto& row : ReadTable(into_empty, u"Articoli", kLocale)) reference_codes.insert(Text(row[kCodiceArticolo]));
  EXPECT_EQ(emptied_codes, reference_codes);
}

// The price list's relationships, made here by our own writer: every article gets the
// category "Elenco prodotti", which Categorie must hold (compared as Jet compares, letter case
// aside), and the purge keeps the 40 articles that orders name.
TEST_F(RealArchives, ThePriceListsRelationshipsRefuseArticlesAndKeepOrderedOnes) {
  using namespace engine::jet;
  struct Case {
    std::u16string category;  // the one Categorie holds
    bool refused;
  };
  const Case cases[] = {{u"ELENCO PRODOTTI", false}, {u"Giocattoli", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(engine::ToUtf8(c.category));
    const fs::path destination = dir_.path() / "relazioni.mdb";
    fs::remove(destination);
    fs::copy_file(Listini("listini-pieno.mdb"), destination);
    CreateTable(destination, {u"Categorie", {{u"Nome", ColumnType::Text, 50}}, {{u"PrimaryKey", {{u"Nome"}}, true}}});
    CreateTable(destination, {u"Ordini", {{u"IdArticolo", ColumnType::Long}}, {{u"IdArticolo", {{u"IdArticolo"}}}}});
    {
      auto database = engine::jet::OpenJetDatabase(destination, engine::OpenMode::ReadWrite, kLocale);
      auto categories = database->OpenRecordset(u"Categorie");
      categories->AddNew();
      categories->SetValue(u"Nome", Value::Text(c.category));
      categories->Update();
      auto orders = database->OpenRecordset(u"Ordini");
      for (int article = 1; article <= 80; ++article) {
        orders->AddNew();
        orders->SetValue(u"IdArticolo", Value::Integer((article + 1) / 2));  // two orders an article
        orders->Update();
      }
    }
    CreateRelationship(destination, {u"CategorieArticoli", 0, u"Articoli", {u"Categoria"}, u"Categorie", {u"Nome"}});
    CreateRelationship(destination, {u"ArticoliOrdini", 0, u"Ordini", {u"IdArticolo"}, u"Articoli", {u"IdArticolo"}});
    BoundFiles run(destination, Listini("fonte.mdb"), u"Prodotti", {u"", u"Codice"});
    const fs::path report = dir_.path() / "resoconto.csv";
    const import::ImportResult result = run.Press(archives::kAnswerYes, import::ReportPlace::File(report));
    ASSERT_GE(run.window.MessageTexts().size(), 2u);
    EXPECT_EQ(run.window.MessageTexts()[1],
              u"Cancellazione record effettuata: 4960 articoli cancellati, 40 non cancellati perché collegati ad altri "
              u"dati (tabella Ordini).");
    EXPECT_NE(ReadText(report).find("Non cancellati perché collegati;40 (tabella Ordini)"), std::string::npos);
    EXPECT_EQ(result.added + result.already_present + result.without_code + result.failed,
              static_cast<long>(source_.size()));
    if (c.refused) {
      const std::u16string reason = u"Il valore «Elenco prodotti» del campo Categoria non è nella tabella Categorie.";
      EXPECT_EQ(result.added, 0);
      EXPECT_EQ(result.first_failure_in_italian, reason);
      EXPECT_NE(ReadText(report).find(engine::ToUtf8(reason)), std::string::npos);
    } else {
      EXPECT_EQ(result.failed, 0) << result.first_failure;
      EXPECT_GT(result.added, 0);
    }
    run.state.DataDestinazione.Close();
    EXPECT_EQ(static_cast<long>(ReadTable(destination, u"Articoli", kLocale).size()), 40 + result.added);
  }
}

class ImportCommand : public RealArchives {
 protected:
  void SetUp() override {
    RealArchives::SetUp();
    if (IsSkipped()) return;
    if (!fs::exists(BinDir() / "archivi")) GTEST_SKIP() << "archivi is not built";
  }
  static std::string ArchiviImport(const std::string& arguments, int* status) {
    return RunArchivi("import " + arguments, status);
  }
};

TEST_F(ImportCommand, PrintsTheMessagesAndTheCounts) {
  const fs::path destination = dir_.Copy(Listini("listini-pieno.mdb"));
  int status = -1;
  const std::string output = ArchiviImport(Quoted(destination) + " " + Quoted(Listini("fonte.mdb")) +
                                         " Prodotti --slot 1=Codice --slot '2=Nome' --purge yes",
                                     &status);
  EXPECT_EQ(status, 0) << output;
  const std::string expected_start = engine::ToUtf8(import::kPurgeQuestion) + "\n" +
                                     engine::ToUtf8(import::kPurgeDone) + "\n" + engine::ToUtf8(import::kImportDone) +
                                     "\nadded: ";
  EXPECT_EQ(output.substr(0, expected_start.size()), expected_start) << output;
  EXPECT_NE(output.find("\nwithout code: " + std::to_string(null_codes_) + "\nfailed: 0\nvalues not written: 0\n"),
            std::string::npos)
      << output;

  // A second time, without purging: nothing more to add.
  const std::string again =
      ArchiviImport(Quoted(destination) + " " + Quoted(Listini("fonte.mdb")) + " Prodotti --slot 1=Codice", &status);
  EXPECT_NE(again.find("\nadded: 0\n"), std::string::npos) << again;

  const std::string check =
      RunCommand("'" + (BinDir() / "archivi").string() + "' check " + Quoted(destination) + " 2>&1", &status);
  EXPECT_EQ(status, 0) << check;
}

TEST_F(ImportCommand, ReadsAWorkbookAsTheWindowBindsIt) {
  const fs::path destination = dir_.Copy(Listini("listini.mdb"));
  const fs::path workbook = FixturesDir() / "xls" / "typed.xls";
  auto sheet = engine::OpenDatabase(workbook, u"Excel 8.0;", engine::OpenMode::ReadOnly, kLocale)->OpenRecordset(u"typed$");
  long codes = 0;
  std::set<std::u16string> distinct;
  for (; !sheet->Eof(); sheet->MoveNext()) {
    const Value code = sheet->GetValue(u"ArtNr");
    codes += !code.is_null();
    if (!code.is_null()) distinct.insert(Text(code));
  }
  ASSERT_GT(codes, 0);
  int status = -1;
  const std::string output = ArchiviImport(Quoted(destination) + " " + Quoted(workbook) + " 'typed$' --slot 1=ArtNr", &status);
  EXPECT_EQ(status, 0) << output;
  EXPECT_NE(output.find("added: " + std::to_string(distinct.size()) + "\n"), std::string::npos) << output;
  EXPECT_EQ(ReadTable(destination, u"Articoli", kLocale).size(), distinct.size());
}

TEST_F(ImportCommand, RefusesIncompleteArguments) {
  int status = -1;
  ArchiviImport("only-one-file.mdb", &status);
  EXPECT_EQ(status, 2);
  ArchiviImport("a.mdb b.mdb T --slot 9=X", &status);
  EXPECT_EQ(status, 2);
  ArchiviImport("a.mdb b.mdb T --slot 1=X --purge maybe", &status);
  EXPECT_EQ(status, 2);
}

}  // namespace
}  // namespace testsupport
