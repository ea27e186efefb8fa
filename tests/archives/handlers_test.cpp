#include "archives/handlers.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "archives/error_messages.h"
#include "engine/base/error.h"
#include "engine/value/value.h"
#include "tests/support/fixtures.h"
#include "tests/support/scripted_window.h"

namespace archives {
namespace {

using testsupport::ScriptedDialogs;
using testsupport::ScriptedForm;

std::u16string U16(const std::filesystem::path& path) { return engine::FromUtf8(path.string()); }

class BrowseTest : public ::testing::Test {
 protected:
  WindowState state{engine::TextLocale::Italian()};
  ScriptedDialogs dialogs;
  ScriptedForm form;
};

TEST_F(BrowseTest, RefusesEveryOtherExtensionAndEmptiesThePath) {
  for (const char16_t* name : {u"/tmp/listino.xlsx", u"/tmp/a.csv", u"/tmp/a.accdb", u"mdb", u".md"}) {
    dialogs.files_to_choose.push_back(name);
    Browse(state, form, dialogs);
    ASSERT_EQ(dialogs.messages.size(), 1u) << engine::ToUtf8(name);
    EXPECT_EQ(dialogs.messages[0].text, u"Formato file non valido.");
    EXPECT_EQ(dialogs.messages[0].style, MessageStyle::OkOnly);
    EXPECT_EQ(form.text1, u"");
    EXPECT_EQ(state.source_archive_path, u"");
    EXPECT_EQ(state.DataSorgente.DatabaseName, u"");
    dialogs.messages.clear();
  }
}

TEST_F(BrowseTest, CancelledDialogEmptiesText1AndShowsNothing) {
  form.text1 = u"typed by hand";
  Browse(state, form, dialogs);
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_EQ(form.text1, u"");
  EXPECT_TRUE(form.combo2_entries.empty());
}

TEST_F(BrowseTest, AnArchiveThatCannotBeOpenedIsExplainedAndLeavesTheOldOneBound) {
  REQUIRE_FIXTURES();
  const auto fonte = testsupport::Listini("fonte.mdb");
  dialogs.files_to_choose = {U16(fonte)};
  Browse(state, form, dialogs);
  ASSERT_TRUE(dialogs.messages.empty());
  ASSERT_FALSE(form.combo2_entries.empty());
  EXPECT_EQ(dialogs.busy_periods, 1);
  const auto tables_before = form.combo2_entries;

  testsupport::TempDir temp;
  for (const char* name : {"vuoto.MDB", "finto.xls", "mancante.mdb"}) {
    const auto path = temp.path() / name;
    if (std::string(name) != "mancante.mdb") {
      std::ofstream(path) << "not an archive at all";
    }
    dialogs.files_to_choose = {U16(path)};
    Browse(state, form, dialogs);
    ASSERT_EQ(dialogs.messages.size(), 1u) << name;
    EXPECT_TRUE(dialogs.messages[0].text.starts_with(u"Impossibile aprire l'archivio " + U16(path) + u": "))
        << engine::ToUtf8(dialogs.messages[0].text);
    EXPECT_EQ(form.text1, u"");
    EXPECT_EQ(state.DataSorgente.DatabaseName, U16(fonte));
    EXPECT_EQ(form.combo2_entries, tables_before);
    // Busy while the archive was opened, and no longer once the failure is explained.
    EXPECT_EQ(dialogs.busy_depth_at_message.back(), 0);
    EXPECT_EQ(dialogs.busy_depth, 0);
    dialogs.messages.clear();
  }
}

TEST_F(BrowseTest, ListsUserTablesOfEachNewArchiveOnly) {
  REQUIRE_FIXTURES();
  const auto fonte = testsupport::Listini("fonte.mdb");
  const auto workbook = testsupport::FixturesDir() / "xls" / "typed.xls";
  dialogs.files_to_choose = {U16(fonte)};
  Browse(state, form, dialogs);
  EXPECT_EQ(state.DataSorgente.Connect, kAccessConnect);
  EXPECT_EQ(form.text1, U16(fonte));
  EXPECT_EQ(form.combo2_entries, (std::vector<std::u16string>{u"Fornitori", u"Prodotti"}));

  form.combo2 = u"Prodotti";
  DiscoverColumns(state, form, dialogs);
  ASSERT_TRUE(dialogs.messages.empty());
  EXPECT_EQ(state.DataSorgente.RecordSource, u"Prodotti");

  // A workbook after a database: its own connect string, its own tables, and the old
  // table's name is not looked for in it.
  dialogs.files_to_choose = {U16(workbook)};
  Browse(state, form, dialogs);
  ASSERT_TRUE(dialogs.messages.empty()) << engine::ToUtf8(dialogs.messages[0].text);
  EXPECT_EQ(state.DataSorgente.Connect, kExcelConnect);
  EXPECT_EQ(state.DataSorgente.RecordSource, u"");
  ASSERT_FALSE(form.combo2_entries.empty());
  for (const auto& name : form.combo2_entries) EXPECT_NE(name, u"Prodotti");

  // And a database after the workbook opens as a database again.
  dialogs.files_to_choose = {U16(fonte)};
  Browse(state, form, dialogs);
  EXPECT_EQ(state.DataSorgente.Connect, kAccessConnect);
  EXPECT_EQ(form.combo2_entries.size(), 2u);
}

TEST(DiscoverColumnsTest, FillsEveryPickerWithTheEmptyEntryAndTheColumnsInOrder) {
  REQUIRE_FIXTURES();
  WindowState state{engine::TextLocale::Italian()};
  ScriptedDialogs dialogs;
  ScriptedForm form;
  dialogs.files_to_choose = {U16(testsupport::Listini("fonte.mdb"))};
  Browse(state, form, dialogs);
  form.pickers[3] = u"chosen before";
  form.picker_entries[3] = {u"", u"Old"};
  for (int click = 0; click < 2; ++click) {  // clicking the same table again rebuilds, never appends
    form.combo2 = u"Prodotti";
    DiscoverColumns(state, form, dialogs);
    const std::vector<std::u16string> expected = {u"",      u"Codice",   u"Nome",       u"Prezzo",
                                                  u"Categoria", u"Immagine", u"Attivo", u"Aggiornato"};
    for (int k = 0; k < 7; ++k) {
      EXPECT_EQ(form.picker_entries[k], expected) << "picker " << k;
      EXPECT_TRUE(form.picker_enabled[k]);
      EXPECT_EQ(form.pickers[k], u"");
    }
  }
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST(DiscoverColumnsTest, ATableThatDoesNotOpenIsExplainedAndThePickersStay) {
  REQUIRE_FIXTURES();
  WindowState state{engine::TextLocale::Italian()};
  ScriptedDialogs dialogs;
  ScriptedForm form;
  dialogs.files_to_choose = {U16(testsupport::Listini("fonte.mdb"))};
  Browse(state, form, dialogs);
  form.combo2 = u"Prodotti";
  DiscoverColumns(state, form, dialogs);
  const auto pickers_before = form.picker_entries[0];

  form.combo2 = u"Nessuna";
  DiscoverColumns(state, form, dialogs);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_TRUE(dialogs.messages[0].text.starts_with(u"Impossibile aprire l'archivio "));
  EXPECT_EQ(dialogs.busy_depth_at_message, std::vector<int>{0});
  EXPECT_EQ(dialogs.busy_depth, 0);
  EXPECT_EQ(form.picker_entries[0], pickers_before);
  EXPECT_EQ(state.DataSorgente.RecordSource, u"Prodotti");
  EXPECT_NO_THROW(state.DataSorgente.Recordset());
}

TEST(StartupBindingTest, OpensArticoliBesideTheProgramOrExplainsAndEnds) {
  REQUIRE_FIXTURES();
  testsupport::TempDir folder;
  ScriptedDialogs dialogs;
  {
    WindowState state{engine::TextLocale::Italian()};
    EXPECT_THROW(StartupBinding(state, dialogs, U16(folder.path())), ProgramEnded);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.busy_periods, 1);
    EXPECT_EQ(dialogs.busy_depth_at_message, std::vector<int>{0});
    EXPECT_EQ(dialogs.messages[0].style, MessageStyle::OkOnly);
    EXPECT_TRUE(dialogs.messages[0].text.starts_with(u"Impossibile aprire l'archivio di destinazione " +
                                                  U16(folder.path() / "listini.mdb") + u": il file non esiste"))
        << engine::ToUtf8(dialogs.messages[0].text);
  }
  dialogs.messages.clear();
  folder.Copy(testsupport::Listini("listini.mdb"));
  WindowState state{engine::TextLocale::Italian()};
  StartupBinding(state, dialogs, U16(folder.path()));
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_EQ(state.DataDestinazione.DatabaseName, U16(folder.path() / "listini.mdb"));
  EXPECT_EQ(state.DataDestinazione.RecordSource, u"Articoli");
  EXPECT_EQ(state.DataDestinazione.Connect, kAccessConnect);
  EXPECT_EQ(state.DataDestinazione.Recordset().RecordCount(), 0);
}

// A price list this user may not write, or one on a read-only disk, is explained with what to
// do; any other failure keeps the plain "cannot open" message.
TEST(StartupBindingTest, ExplainsAPriceListThatCannotBeWritten) {
  const std::u16string path = u"/cartella-che-non-esiste/listini.mdb";  // no file: only the error counts
  const std::u16string advice = u". Chiedere all'amministratore di rendere scrivibili il file e la sua cartella.";
  struct Case {
    engine::ErrorKind kind;
    std::u16string reason;  // empty: the plain message
  } cases[] = {
      {engine::ErrorKind::AccessDenied, u"questo utente non ha il permesso di modificarlo"},
      {engine::ErrorKind::ReadOnlyFileSystem, u"il disco è di sola lettura"},
      {engine::ErrorKind::NotFound, u""},
      {engine::ErrorKind::Damaged, u""},
  };
  for (const Case& c : cases) {
    const engine::Error error(engine::ToUtf8(path), "the file cannot be opened for writing", c.kind);
    const std::u16string message = StartupFailureMessage(path, error);
    SCOPED_TRACE(engine::ToUtf8(message));
    if (c.reason.empty()) {
      EXPECT_EQ(message, CannotOpenDestinationMessage(path, error));
    } else {
      EXPECT_TRUE(message.starts_with(u"Impossibile aprire in scrittura il listino " + path + u": " + c.reason));
      EXPECT_TRUE(message.ends_with(advice));
    }
  }
}

// The end of the program saves what was stored, undoes a change still open (all or
// nothing), and tells of a save that failed, ending with a non-zero status; the window shows
// it is busy while it saves.
TEST(CloseAtEndTest, SavesWhatWasStoredOrSaysItCouldNot) {
  REQUIRE_FIXTURES();
  struct Case {
    const char* what;
    bool add_record, open_change, commit_fails;
    int status;
    long rows_added;  // in the file afterwards
  } cases[] = {
      {"a record stored", true, false, false, 0, 1},
      {"a change not committed", true, true, false, 0, 0},
      {"the save fails", true, false, true, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::TempDir folder;
    const std::filesystem::path file = folder.path() / kDestinationFile;
    std::filesystem::copy_file(testsupport::Listini("listini-pieno.mdb"), file);
    ScriptedDialogs dialogs;
    WindowState state{engine::TextLocale::Italian()};
    StartupBinding(state, dialogs, U16(folder.path()));
    const long rows = state.DataDestinazione.Recordset().RecordCount();
    if (c.open_change) state.DataDestinazione.Database().BeginTransaction();
    engine::Recordset& records = state.DataDestinazione.Recordset();
    records.AddNew();
    records.SetValue(u"Codice Articolo", engine::Value::Text(u"NUOVO-1"));
    records.Update();
    if (c.commit_fails) std::filesystem::create_directory(file.string() + "-journal");
    const int busy_before = dialogs.busy_periods;
    EXPECT_EQ(CloseAtEnd(state, dialogs), c.status);
    // Busy while it saves, and no longer when it tells of a failure.
    EXPECT_EQ(dialogs.busy_periods, busy_before + 1);
    EXPECT_EQ(dialogs.busy_depth, 0);
    for (int depth : dialogs.busy_depth_at_message) EXPECT_EQ(depth, 0);
    if (c.commit_fails) {
      ASSERT_EQ(dialogs.messages.size(), 1u);
      EXPECT_TRUE(dialogs.messages[0].text.starts_with(u"Impossibile salvare le ultime modifiche al listino " +
                                                       U16(file) + u": "))
          << engine::ToUtf8(dialogs.messages[0].text);
      std::filesystem::remove(file.string() + "-journal");
    } else {
      EXPECT_TRUE(dialogs.messages.empty());
    }
    WindowState again{engine::TextLocale::Italian()};
    StartupBinding(again, dialogs, U16(folder.path()));
    EXPECT_EQ(again.DataDestinazione.Recordset().RecordCount(), rows + c.rows_added);
  }
}

}  // namespace
}  // namespace archives
