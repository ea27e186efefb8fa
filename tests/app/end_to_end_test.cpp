// The whole tool, window included: choose the archive, its table and the columns, import,
// and look at the price list afterwards with the engine, the checker and mdbtools.
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <set>

#include "app/form1.h"
#include "archives/handlers.h"
#include "engine/database/database.h"
#include "engine/jet/create/database_creator.h"
#include "engine/jet/index/sort_key.h"
#include "engine/open/open_database.h"
#include "import/text_rules.h"
#include "tests/app/window_test_support.h"
#include "tests/support/files.h"
#include "tests/support/fixtures.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Press;
using testsupport::Printable;

QString Q(std::u16string_view text) { return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())); }

// How many articles an import adds to a price list that holds none of the source's codes:
// codes are cut to the column's limit and told apart as Jet's text index tells them apart
// (letter case and trailing spaces do not count). An empty code is looked up, but stored as
// Null (an empty value writes nothing), so it never stops a later record from being added.
size_t ExpectedNewArticles(const fs::path& file, std::u16string_view connect, std::u16string_view table,
                           std::u16string_view code_column) {
  auto database = engine::OpenDatabase(file, connect, engine::OpenMode::ReadOnly, engine::TextLocale::Italian());
  auto records = database->OpenRecordset(table);
  std::set<std::string> stored;
  size_t added = 0;
  for (; !records->Eof(); records->MoveNext()) {
    const engine::Value code = records->GetValue(code_column);
    if (code.is_null()) continue;
    std::u16string text = code.ToText(engine::TextLocale::Italian());
    text.resize(std::min(text.size(), import::kTextLimit));
    std::string key;
    engine::jet::AppendTextKey(text, true, &key);
    if (stored.contains(key)) continue;
    ++added;
    if (!text.empty()) stored.insert(key);
  }
  return added;
}

long ArticleCount(const fs::path& price_list) {
  auto database =
      engine::OpenDatabase(price_list, u"Access 2000;", engine::OpenMode::ReadOnly, engine::TextLocale::Italian());
  auto records = database->OpenRecordset(u"Articoli");
  records->MoveLast();
  return records->Eof() && records->RecordCount() == 0 ? 0 : records->RecordCount();
}

void ExpectSoundFile(const fs::path& price_list) {
  int status = -1;
  const std::string report =
      testsupport::RunCommand((testsupport::BinDir() / "archivi").string() + " check '" + price_list.string() + "'", &status);
  EXPECT_EQ(status, 0) << report;
  const std::string exported =
      testsupport::RunCommand("mdb-export '" + price_list.string() + "' Articoli | wc -l", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(std::stol(exported), ArticleCount(price_list) + 1);  // header line
}

class EndToEndTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testsupport::Application(); }

  void SetUp() override {
    REQUIRE_FIXTURES();
    price_list_ = folder_.path() / "listini.mdb";
    fs::copy_file(testsupport::Listini("listini-pieno.mdb"), price_list_);
  }

  void ChooseTable(app::Form1& window, std::u16string_view table) {
    auto* combo2 = window.findChild<QComboBox*>("Combo2");
    const int index = combo2->findText(Q(table));
    ASSERT_GE(index, 0) << Printable(table);
    combo2->setCurrentIndex(index);
    emit combo2->activated(index);
  }

  void ChooseColumn(app::Form1& window, int picker, std::u16string_view column) {
    auto* combo = window.findChild<QComboBox*>(QString("Combo6_%1").arg(picker));
    const int index = combo->findText(Q(column));
    ASSERT_GE(index, 0) << Printable(column);
    combo->setCurrentIndex(index);
  }

  testsupport::TempDir folder_;
  fs::path price_list_;
};

// The shop's price list as it was made: the full Access 2000 list, or a new Access 97 one.
TEST_F(EndToEndTest, FromADatabaseWithThePurgeAnsweredYes) {
  const fs::path source = testsupport::Listini("fonte.mdb");
  for (const bool access97 : {false, true}) {
    SCOPED_TRACE(access97 ? "Access 97" : "Access 2000");
    testsupport::TempDir folder;
    const fs::path price_list = folder.path() / "listini.mdb";
    if (access97) {
      // A few articles of its own, so that the purge is offered and has something to delete.
      engine::jet::CreateListiniDatabase(price_list, {.version = engine::jet::JetVersion::Jet3});
      auto database =
          engine::OpenDatabase(price_list, u"Access 2000;", engine::OpenMode::ReadWrite, engine::TextLocale::Italian());
      auto articles = database->OpenRecordset(u"Articoli");
      for (const char16_t* code : {u"VECCHIO-1", u"VECCHIO-2", u"VECCHIO-3"}) {
        articles->AddNew();
        articles->SetValue(u"Codice Articolo", engine::Value::Text(code));
        articles->Update();
      }
      database->Close();
    } else {
      fs::copy_file(price_list_, price_list);
    }
    testsupport::ModalWatchdog watchdog;
    testsupport::ScriptedDialogs dialogs;
    {
      app::Form1 window(engine::TextLocale::Italian(), &dialogs);
      archives::StartupBinding(window.state(), dialogs, folder.path().u16string());
      ASSERT_TRUE(dialogs.messages.empty()) << Printable(dialogs.messages[0].text);
      window.show();

      dialogs.files_to_choose = {source.u16string()};
      Press(window, "Toolbar1_Sfoglia");
      ChooseTable(window, u"Prodotti");
      ChooseColumn(window, 1, u"Codice");
      ChooseColumn(window, 0, u"Categoria");
      ChooseColumn(window, 2, u"Nome");
      ChooseColumn(window, 4, u"Prezzo");
      ChooseColumn(window, 6, u"Immagine");
      dialogs.answers = {archives::kAnswerYes};
      Press(window, "Toolbar4_Importa");

      ASSERT_EQ(dialogs.messages.size(), 3u) << Printable(dialogs.messages.back().text);
      EXPECT_EQ(dialogs.messages[0].style, archives::MessageStyle::YesNo);
      EXPECT_EQ(dialogs.messages[1].text, u"Cancellazione record effettuata.");
      EXPECT_EQ(dialogs.messages[2].text, u"Importazione eseguita.") << Printable(dialogs.messages[2].text);
      EXPECT_EQ(window.findChild<QProgressBar*>("ProgressBar1")->value(), 100);
    }
    EXPECT_TRUE(watchdog.seen().empty());
    EXPECT_EQ(ArticleCount(price_list),
              static_cast<long>(ExpectedNewArticles(source, u"Access 2000;", u"Prodotti", u"Codice")));
    ExpectSoundFile(price_list);
    // A clean run says nothing of its report, and still leaves it beside the price list.
    std::vector<fs::path> reports;
    for (const auto& entry : fs::directory_iterator(folder.path() / "Importazioni")) reports.push_back(entry.path());
    ASSERT_EQ(reports.size(), 1u);
    const std::string added = "Articoli aggiunti;" + std::to_string(ArticleCount(price_list)) + "\r\n";
    EXPECT_NE(testsupport::ReadText(reports[0]).find(added), std::string::npos) << reports[0];
  }
}

TEST_F(EndToEndTest, FromAWorkbookWithTheRealDialogsKeepingTheArticles) {
  const fs::path source = testsupport::SourceDir() / "samples" / "listino-esempio.xls";
  const long before = ArticleCount(price_list_);
  const size_t new_codes = ExpectedNewArticles(source, u"Excel 8.0;", u"Listino$", u"Codice");

  // The real file dialog and message boxes, answered by a timer as a user would.
  QStringList boxes;
  QTimer driver;
  QObject::connect(&driver, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
      dialog->selectFile(Q(source.u16string()));
      static_cast<QDialog*>(dialog)->accept();
    } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      boxes << box->text();
      // "No" to the purge question; OK to everything else.
      QAbstractButton* answer = box->button(QMessageBox::No);
      if (!answer) answer = box->button(QMessageBox::Ok);
      ASSERT_NE(answer, nullptr);
      answer->click();
    }
  });
  driver.start(10);

  app::Form1 window(engine::TextLocale::Italian());
  testsupport::ScriptedDialogs startup_dialogs;
  archives::StartupBinding(window.state(), startup_dialogs, folder_.path().u16string());
  ASSERT_TRUE(startup_dialogs.messages.empty());
  window.show();
  Press(window, "Toolbar1_Sfoglia");
  ASSERT_TRUE(boxes.empty()) << boxes[0].toStdString();
  EXPECT_EQ(window.Text1(), source.u16string());
  ChooseTable(window, u"Listino$");
  ChooseColumn(window, 1, u"Codice");
  ChooseColumn(window, 2, u"Descrizione");
  ChooseColumn(window, 4, u"Prezzo");
  Press(window, "Toolbar4_Importa");
  driver.stop();

  ASSERT_EQ(boxes.size(), 2);
  EXPECT_TRUE(boxes[0].startsWith("All'interno del database sono già presenti degli articoli."));
  EXPECT_EQ(boxes[1], "Importazione eseguita.");
  window.state().DataDestinazione.Close();
  EXPECT_EQ(ArticleCount(price_list_), before + static_cast<long>(new_codes));
  ExpectSoundFile(price_list_);
}

}  // namespace
