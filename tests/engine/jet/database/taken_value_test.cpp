// A value handed over to a new record (SetValue with a value the caller gives up): the record
// gets what a copied value gives it, and a value refused stays with the caller as it was.
#include <gtest/gtest.h>

#include <string>

#include "engine/base/error.h"
#include "tests/engine/jet/jet_test_util.h"
#include "tests/support/fixtures.h"

namespace {

using engine::Value;

TEST(TakenValues, StoreWhatCopiesStoreAndStayWithTheCallerWhenRefused) {
  REQUIRE_FIXTURES();
  testsupport::TempDir folder;
  auto database = testsupport::OpenForWriting(folder.Copy(testsupport::Listini("listini.mdb")));
  struct Case {
    std::u16string field;
    Value value;
    bool refused;
  };
  const Case cases[] = {
      {u"Descrizione", Value::Text(u"Panettone classico, una confezione da un chilo"), false},
      {u"Descrizione", Value::Text(std::u16string(300, u'd')), true},
      {u"Prezzo", Value::Text(u"12,50"), false},
      {u"Prezzo", Value::Text(u"dodici euro e cinquanta centesimi"), true},
      {u"Prezzo", Value::Double(7.25), false},
      {u"Immagine", Value::Text(std::u16string(100, u'i')), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(engine::ToUtf8(c.field + u" = " + c.value.ToText(engine::TextLocale::Italian())));
    auto copied = database->OpenRecordset(u"Articoli");
    auto taken = database->OpenRecordset(u"Articoli");
    copied->AddNew();
    taken->AddNew();
    Value given = c.value;
    if (c.refused) {
      EXPECT_THROW(copied->SetValue(c.field, c.value), engine::Error);
      EXPECT_THROW(taken->SetValue(c.field, std::move(given)), engine::Error);
      EXPECT_EQ(given, c.value) << "a refused value is left as it was given";
    } else {
      copied->SetValue(c.field, c.value);
      taken->SetValue(c.field, std::move(given));
      EXPECT_EQ(taken->GetValue(c.field), copied->GetValue(c.field));
    }
  }
}

}  // namespace
