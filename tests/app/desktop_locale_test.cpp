// The window writes under whatever locale the desktop has (Qt sets the C library's from the
// environment at start) what `archivi` writes under C.UTF-8, value by value. The suite runs
// this again under an Italian and a German desktop, where a number read or written through
// the C library's locale would take a comma for its decimal separator.
#include <QComboBox>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

#include "app/form1.h"
#include "archives/handlers.h"
#include "engine/text/utf.h"
#include "tests/app/window_test_support.h"
#include "tests/support/files.h"
#include "tests/support/fixtures.h"

namespace {

namespace fs = std::filesystem;

// The price list with field properties, "Data Inserimento" defaulting to a day and a half
// (a date-and-time of 1899-12-31 12:00) instead of today: a fraction in a stored rule.
// The new default has the old one's length, so the property block keeps its size.
fs::path PriceListWithFractionalDefault(const fs::path& folder) {
  const fs::path file = folder / "listini.mdb";
  std::vector<uint8_t> bytes = testsupport::ReadBytes(testsupport::Fixture("regole/listini-proprieta.mdb"));
  auto utf16 = [](std::u16string_view text) {
    std::vector<uint8_t> out;
    for (char16_t c : text) out.insert(out.end(), {static_cast<uint8_t>(c & 0xFF), static_cast<uint8_t>(c >> 8)});
    return out;
  };
  const std::vector<uint8_t> old_default = utf16(u"=Date()");
  const std::vector<uint8_t> new_default = utf16(u"=1.50+0");
  auto at = std::search(bytes.begin(), bytes.end(), old_default.begin(), old_default.end());
  EXPECT_NE(at, bytes.end());
  if (at != bytes.end()) std::copy(new_default.begin(), new_default.end(), at);
  fs::create_directories(folder);
  testsupport::WriteBytes(file, bytes);
  return file;
}

void Choose(QComboBox* combo, std::u16string_view text) {
  ASSERT_NE(combo, nullptr);
  const int index = combo->findText(QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())));
  ASSERT_GE(index, 0) << testsupport::Printable(text);
  combo->setCurrentIndex(index);
  emit combo->activated(index);
}

std::vector<std::string> Dump(const fs::path& price_list) {
  int status = -1;
  const std::string dump = testsupport::RunArchivi("dump " + testsupport::Quoted(price_list) + " Articoli", &status);
  EXPECT_EQ(status, 0) << dump;
  return testsupport::SplitLines(dump);
}

TEST(DesktopLocale, TheWindowWritesWhatArchiviWrites) {
  REQUIRE_FIXTURES();
  testsupport::Application();  // sets the C library's locale from the environment, as at start
  const fs::path source = testsupport::Fixture("regole/fonte-decimali.mdb");
  testsupport::TempDir dir;

  const fs::path by_window = PriceListWithFractionalDefault(dir.path() / "finestra");
  {
    testsupport::ModalWatchdog watchdog;
    testsupport::ScriptedDialogs dialogs;
    app::Form1 window(engine::TextLocale::FromEnvironment(), &dialogs);
    archives::StartupBinding(window.state(), dialogs, by_window.parent_path().u16string());
    dialogs.files_to_choose = {source.u16string()};
    testsupport::Press(window, "Toolbar1_Sfoglia");
    Choose(window.findChild<QComboBox*>("Combo2"), u"Prodotti");
    const std::pair<int, std::u16string_view> columns[] = {
        {0, u"Categoria"}, {1, u"Codice"}, {2, u"Nome"}, {4, u"Prezzo"}, {5, u"Sconto"}};
    for (const auto& [picker, column] : columns) {
      Choose(window.findChild<QComboBox*>(QString("Combo6_%1").arg(picker)), column);
    }
    dialogs.answers = {archives::kAnswerNo};
    testsupport::Press(window, "Toolbar4_Importa");
    ASSERT_FALSE(dialogs.messages.empty());
    EXPECT_TRUE(watchdog.seen().empty());
  }

  const fs::path by_archivi = PriceListWithFractionalDefault(dir.path() / "archivi");
  int status = -1;
  // archivi under C.UTF-8 is the reference, whatever the desktop's locale.
  const std::string output = testsupport::RunCommand(
      "LC_ALL=C.UTF-8 " + testsupport::Quoted(testsupport::BinDir() / "archivi") + " import " +
          testsupport::Quoted(by_archivi) + " " + testsupport::Quoted(source) +
          " Prodotti --slot 0=Categoria --slot 1=Codice --slot 2=Nome --slot 4=Prezzo --slot 5=Sconto --purge no 2>&1",
      &status);
  EXPECT_EQ(status, 1) << output;  // some articles break the price list's rules

  const std::vector<std::string> window_rows = Dump(by_window);
  const std::vector<std::string> archivi_rows = Dump(by_archivi);
  ASSERT_EQ(window_rows.size(), archivi_rows.size());
  size_t from_the_default = 0;
  for (size_t i = 0; i < window_rows.size(); ++i) {
    const std::vector<std::string> ours = testsupport::SplitTabs(window_rows[i]);
    const std::vector<std::string> theirs = testsupport::SplitTabs(archivi_rows[i]);
    ASSERT_EQ(ours.size(), theirs.size()) << "line " << i + 1;
    for (size_t field = 0; field < ours.size(); ++field) {
      EXPECT_EQ(ours[field], theirs[field]) << "line " << i + 1 << ", field " << field + 1;
      if (ours[field] == "1899-12-31T12:00:00") ++from_the_default;
    }
  }
  EXPECT_EQ(from_the_default, 252u);  // every added article: the default read as 1.5 days
}

}  // namespace
