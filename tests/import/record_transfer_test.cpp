// Record transfer, seen through the import run: what each added article holds.
#include <gtest/gtest.h>

#include "import/italian_texts.h"
#include "tests/import/import_setup.h"
#include "tests/support/files.h"
#include "tests/support/fixtures.h"

namespace testsupport {
namespace {

using engine::Value;

enum ArticoliPosition { kId, kCodiceArticolo, kDescrizione, kCatalogo, kPrezzo, kPrezzo2, kCategoriaAt, kData, kImmagineAt };

Value Money(int64_t ten_thousandths) { return Value::Money({ten_thousandths}); }

class RecordTransfer : public ::testing::Test {
 protected:
  // Imports the source rows into the empty destination; returns the stored rows. The values
  // the articles were stored without turn the closing message into a warning.
  const std::vector<std::vector<Value>>& Import(long values_not_written = 0) {
    const import::ImportResult result = setup.Press();
    EXPECT_EQ(result.failed, 0);
    EXPECT_EQ(result.values_not_written, values_not_written);
    if (values_not_written == 0) {
      EXPECT_EQ(setup.window.MessageTexts().back(), import::kImportDone);
    } else {
      const std::u16string counted = std::u16string(import::kImportDoneWithWarningsStart) +
                                     engine::FromUtf8(std::to_string(values_not_written)) +
                                     std::u16string(import::kValuesNotWrittenEnd) + u" " +
                                     result.first_failure_in_italian;
      EXPECT_EQ(setup.window.MessageTexts().back(), counted);
    }
    return setup.articoli().rows;
  }
  void PickAll() {
    setup.window.pickers = {u"Categoria", u"Codice", u"Nome", u"Catalogo", u"Prezzo", u"Listino", u"Immagine"};
  }
  ImportSetup setup;
};

TEST_F(RecordTransfer, WithOnlyTheCodeChosenTheDefaultsFillTheRest) {
  setup.AddSourceCodes({u"ART-1", u"ART-2"});
  const auto& rows = Import();
  ASSERT_EQ(rows.size(), 2u);
  for (const auto& row : rows) {
    EXPECT_EQ(row[kCategoriaAt], T(u"Elenco prodotti"));
    EXPECT_EQ(row[kPrezzo], Money(0)) << "the text \"0\", converted by the engine";
    EXPECT_EQ(row[kPrezzo2], Money(0));
    EXPECT_EQ(row[kImmagineAt], T(u"Immagine non inserita"));
    EXPECT_TRUE(row[kDescrizione].is_null());
    EXPECT_TRUE(row[kCatalogo].is_null());
    EXPECT_TRUE(row[kData].is_null());
  }
  EXPECT_EQ(rows[0][kCodiceArticolo], T(u"ART-1"));
  EXPECT_EQ(rows[1][kCodiceArticolo], T(u"ART-2"));
}

TEST_F(RecordTransfer, EverySlotGoesToItsColumn) {
  PickAll();
  setup.AddSource({T(u"A1"), T(u"Olio extra"), Value::Double(12.5), T(u"Alimentari"), T(u"C:\\img\\olio.jpg"),
                   T(u"Olio extravergine di oliva"), Value::Double(10.25)});
  const auto& rows = Import();
  ASSERT_EQ(rows.size(), 1u);
  const auto& row = rows[0];
  EXPECT_EQ(row[kCodiceArticolo], T(u"A1"));
  EXPECT_EQ(row[kDescrizione], T(u"Olio extra"));
  EXPECT_EQ(row[kCatalogo], T(u"Olio extravergine di oliva"));
  EXPECT_EQ(row[kPrezzo], Money(125000)) << "12,5 in the Italian text form, back to currency";
  EXPECT_EQ(row[kPrezzo2], Money(102500));
  EXPECT_EQ(row[kCategoriaAt], T(u"Alimentari"));
  EXPECT_EQ(row[kImmagineAt], T(u"C:\\img\\olio.jpg")) << "the image path is not cleaned";
}

TEST_F(RecordTransfer, NullOrEmptyValuesWriteNeitherValueNorDefault) {
  PickAll();
  setup.AddSource({T(u"A1"), T(u""), Value(), Value(), T(u""), Value(), T(u"")});
  setup.AddSource({T(u"A2"), Value(), T(u""), T(u""), Value(), T(u""), Value()});
  const auto& rows = Import();
  ASSERT_EQ(rows.size(), 2u);
  for (const auto& row : rows) {
    for (int position : {kDescrizione, kCatalogo, kPrezzo, kPrezzo2, kCategoriaAt, kImmagineAt}) {
      EXPECT_TRUE(row[position].is_null()) << "position " << position;
    }
  }
}

TEST_F(RecordTransfer, CutsFiveColumnsAtFiftyAndWritesTheImagePathWhole) {
  PickAll();
  const std::u16string long_code = std::u16string(50, u'C') + u"-OLTRE-50";
  const std::u16string long_name = std::u16string(50, u'n') + u"xxxxxxxxxx";
  const std::u16string image(200, u'i');
  setup.AddSource({T(long_code), T(long_name), Value(), Value(), T(image), T(long_name)});
  const auto& rows = Import();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][kCodiceArticolo], T(std::u16string(50, u'C')));
  EXPECT_EQ(rows[0][kDescrizione], T(std::u16string(50, u'n')));
  EXPECT_EQ(rows[0][kCatalogo], T(std::u16string(50, u'n')));
  EXPECT_EQ(rows[0][kImmagineAt], T(image));
}

TEST_F(RecordTransfer, CategoriesAreCleanedInTheirTextForm) {
  setup.window.pickers[0] = u"Categoria";
  setup.AddSource({T(u"A1"), {}, {}, T(u"A/B:C")});
  setup.AddSource({T(u"A2"), {}, {}, T(std::u16string(50, u'k') + u"/tail")});
  setup.AddSource({T(u"A3"), {}, {}, T(u"   ")});
  setup.AddSource({T(u"A4"), {}, {}, Value::DateTime(engine::FromCivil({1974, 9, 21}))});
  setup.AddSource({T(u"A5"), {}, {}, Value::Double(3.5)});
  const auto categories = [&] {
    Import();
    return setup.Stored(u"Categoria");
  }();
  ASSERT_EQ(categories.size(), 5u);
  EXPECT_EQ(categories[0], T(u"A-B-C"));
  EXPECT_EQ(categories[1], T(std::u16string(50, u'k')));
  EXPECT_EQ(categories[2], T(u"   ")) << "spaces pass the condition";
  EXPECT_EQ(categories[3], T(u"21-09-1974")) << "the Italian date's slashes are cleaned";
  EXPECT_EQ(categories[4], T(u"3,5"));
}

TEST_F(RecordTransfer, AColumnNamedInTwoSlotsFeedsBoth) {
  setup.window.pickers[4] = u"Listino";
  setup.window.pickers[5] = u"Listino";
  setup.AddSource({T(u"A1"), {}, {}, {}, {}, {}, Value::Double(7.75)});
  Import();
  EXPECT_EQ(setup.StoredAt(kPrezzo)[0], Money(77500));
  EXPECT_EQ(setup.StoredAt(kPrezzo2)[0], Money(77500));
}

// A failing column write is skipped; the other slots and the storing go on.
TEST_F(RecordTransfer, AColumnThatRefusesItsValueIsSkipped) {
  PickAll();
  setup.destination->FailOn("SetValue", u"Descrizione");
  setup.AddSource({T(u"A1"), T(u"Nome"), T(u"non un prezzo"), T(u"Cat")});
  const auto& rows = Import(/*values_not_written=*/2);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_TRUE(rows[0][kDescrizione].is_null());
  EXPECT_TRUE(rows[0][kPrezzo].is_null()) << "the currency column refused the text";
  EXPECT_EQ(rows[0][kCategoriaAt], T(u"Cat"));
  EXPECT_EQ(rows[0][kCodiceArticolo], T(u"A1"));
}

TEST_F(RecordTransfer, AFailedCategoryReadWritesNoOtherRecordsCategory) {
  setup.window.pickers[0] = u"Categoria";
  setup.source->FailOn("GetValue", u"Categoria", /*skip=*/1, /*times=*/1);
  setup.AddSource({T(u"A1"), {}, {}, T(u"Prima")});
  setup.AddSource({T(u"A2"), {}, {}, T(u"Seconda")});
  setup.AddSource({T(u"A3"), {}, {}, T(u"Terza")});
  Import(/*values_not_written=*/1);
  const auto categories = setup.Stored(u"Categoria");
  ASSERT_EQ(categories.size(), 3u);
  EXPECT_EQ(categories[0], T(u"Prima"));
  EXPECT_TRUE(categories[1].is_null()) << "not \"Prima\", nor the default";
  EXPECT_EQ(categories[2], T(u"Terza"));
}

TEST_F(RecordTransfer, APickerNamingNoSourceColumnWritesNothing) {
  setup.window.pickers = {u"Sparita", u"Codice", u"Sparita", u"", u"Sparita", u"", u"Sparita"};
  setup.AddSourceCodes({u"A1"});
  const auto& rows = Import(/*values_not_written=*/4);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_TRUE(rows[0][kCategoriaAt].is_null());
  EXPECT_TRUE(rows[0][kDescrizione].is_null());
  EXPECT_TRUE(rows[0][kPrezzo].is_null()) << "a default is written only for an empty picker";
  EXPECT_EQ(rows[0][kPrezzo2], Money(0));
  EXPECT_TRUE(rows[0][kImmagineAt].is_null());
}

// An Access 97 price list keeps its code page's characters: a code it stores otherwise is
// added all the same, and the report lists it as changed, with what was stored. No warning:
// nothing was lost.
TEST_F(RecordTransfer, TextsTheCodePageCannotHoldAreReportedChanged) {
  for (const char16_t* name : {u"Codice Articolo", u"Descrizione"}) {
    setup.destination->table(u"Articoli").columns[setup.articoli().ColumnPosition(name)].code_page = 1252;
  }
  PickAll();
  setup.AddSource({T(u"CAFFÈ-1"), T(u"Œuvre ß €")});
  setup.AddSource({T(u"ΑΒΓ1"), T(u"Őrült")});
  TempDir dir;
  const import::ImportResult result = setup.Press(import::kImportKey, import::ReportPlace::File(dir.path() / "r.csv"));
  EXPECT_EQ(result.added, 2);
  EXPECT_EQ(result.values_changed, 2);
  EXPECT_EQ(setup.window.MessageTexts().back(), import::kImportDone);
  EXPECT_EQ(setup.StoredAt(kCodiceArticolo), (std::vector<Value>{T(u"CAFFÈ-1"), T(u"???1")}));
  const std::string report = ReadText(dir.path() / "r.csv");
  for (const char* line : {"2;ΑΒΓ1;valore cambiato;Codice Articolo;ΑΒΓ1;", "2;ΑΒΓ1;valore cambiato;Descrizione;Őrült;"}) {
    EXPECT_NE(report.find(line), std::string::npos) << line << "\n" << report;
  }
  EXPECT_NE(report.find("«Orült»"), std::string::npos) << report;
}

}  // namespace
}  // namespace testsupport
