#include "import/import_run.h"

#include <gtest/gtest.h>

#include "import/destination_queries.h"
#include "import/italian_texts.h"
#include "tests/import/import_setup.h"
#include "tests/support/fixtures.h"

namespace testsupport {
namespace {

using archives::MessageStyle;
using engine::Value;

std::u16string WithErrors(int count, std::u16string_view reason) {
  return std::u16string(import::kImportDoneWithErrorsStart) + engine::FromUtf8(std::to_string(count)) +
         std::u16string(import::kImportDoneWithErrorsEnd) + u" " + std::u16string(reason);
}

// A run the price list stopped after `imported` articles.
std::u16string Stopped(int imported, std::u16string_view reason) {
  return std::u16string(import::kImportStoppedStart) + engine::FromUtf8(std::to_string(imported)) +
         std::u16string(import::kImportStoppedEnd) + std::u16string(reason);
}

std::u16string Lookup(std::u16string_view literal) {
  return std::u16string(import::kLookupStart) + std::u16string(literal) + std::u16string(import::kLookupEnd);
}

bool Opened(const MemoryDatabase& archive, std::u16string_view source) {
  for (const auto& opened : archive.opened_sources()) {
    if (opened == source) return true;
  }
  return false;
}

std::vector<std::u16string> CodesIn(ImportSetup& setup) {
  std::vector<std::u16string> codes;
  for (const Value& v : setup.Stored(u"Codice Articolo")) codes.push_back(v.is_null() ? u"<null>" : v.text());
  return codes;
}

class ImportRun : public ::testing::Test {
 protected:
  std::vector<std::u16string> Codes() { return CodesIn(setup); }
  // Destination record sources opened by the run (start-up opened "Articoli" before it).
  size_t DestinationOpenings() { return setup.destination->opened_sources().size() - 1; }

  ImportSetup setup;
};

TEST_F(ImportRun, ChiudiEndsTheProgramAfterResettingTheBar) {
  setup.window.text1.clear();
  setup.window.combo2.clear();
  setup.AddSourceCodes({u"A1"});
  EXPECT_THROW(setup.Press(u"Chiudi"), archives::ProgramEnded);
  EXPECT_EQ(setup.window.progress, std::vector<float>{0});
  EXPECT_EQ(setup.window.processed_events, 1);
  EXPECT_TRUE(setup.window.messages.empty());
  EXPECT_EQ(DestinationOpenings(), 0u);
  // The key is compared exactly.
  setup.window.text1.clear();
  EXPECT_NO_THROW(setup.Press(u"chiudi"));
}

TEST_F(ImportRun, TheChecksStopTheRunWithTheirMessageBeforeTouchingTheDestination) {
  struct Case {
    const char* name;
    std::u16string text1, combo2, code_picker;
    bool source_has_rows;
    std::u16string_view message;
  };
  const Case cases[] = {
      {"nothing chosen", u"", u"", u"", false, import::kNoArchiveChosen},
      {"no archive", u"", u"Prodotti", u"Codice", true, import::kNoArchiveChosen},
      {"no table", u"/a/fonte.mdb", u"", u"Codice", true, import::kNoTableChosen},
      {"no code column", u"/a/fonte.mdb", u"Prodotti", u"", true, import::kNoCodeColumnChosen},
      {"empty source", u"/a/fonte.mdb", u"Prodotti", u"Codice", false, import::kSourceIsEmpty},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ImportSetup s;
    s.AddArticle(u"GIA-PRESENTE");
    if (c.source_has_rows) s.AddSourceCodes({u"A1"});
    s.window.text1 = c.text1;
    s.window.combo2 = c.combo2;
    s.window.pickers[1] = c.code_picker;
    const import::ImportResult result = s.Press();
    EXPECT_FALSE(result.walked);
    ASSERT_EQ(s.window.messages.size(), 1u);
    EXPECT_EQ(s.window.messages[0], (ShownMessage{std::u16string(c.message), MessageStyle::OkOnly}));
    EXPECT_EQ(s.destination->opened_sources().size(), 1u) << "no purge probe, no lookup";
    EXPECT_EQ(s.articoli().rows.size(), 1u);
    EXPECT_EQ(s.window.progress, std::vector<float>{0});
  }
}

TEST_F(ImportRun, AControlThatCannotBeReadCountsAsATestThatHeld) {
  {
    ImportSetup s;
    s.AddSourceCodes({u"A1"});
    s.window.failing_controls = {"Text1"};
    s.Press();
    EXPECT_EQ(s.window.MessageTexts(), std::vector<std::u16string>{std::u16string(import::kNoArchiveChosen)});
  }
  {
    ImportSetup s;
    s.AddSourceCodes({u"A1"});
    s.window.failing_controls = {"Picker1"};
    s.Press();
    EXPECT_EQ(s.window.MessageTexts(), std::vector<std::u16string>{std::u16string(import::kNoCodeColumnChosen)});
  }
  {
    // "Combo2 not empty" holds, so the run goes on; at the end "Combo2 empty" holds too.
    ImportSetup s;
    s.AddSourceCodes({u"A1"});
    s.window.failing_controls = {"Combo2"};
    s.Press();
    EXPECT_EQ(s.window.MessageTexts(), std::vector<std::u16string>{std::u16string(import::kImportNotDone)});
    EXPECT_EQ(s.articoli().rows.size(), 1u);
  }
  {
    ImportSetup s;
    s.AddSourceCodes({u"A1"});
    s.source->FailOn("RecordCount", {}, 0, 1);
    s.Press();
    EXPECT_EQ(s.window.MessageTexts(), std::vector<std::u16string>{std::u16string(import::kSourceIsEmpty)});
  }
}

TEST_F(ImportRun, AnEmptyDestinationIsNotOfferedForPurging) {
  setup.AddSourceCodes({u"A1", u"A2"});
  const import::ImportResult result = setup.Press();
  EXPECT_EQ(setup.window.MessageTexts(), std::vector<std::u16string>{std::u16string(import::kImportDone)});
  EXPECT_TRUE(Opened(*setup.destination, import::kPurgeProbe));
  EXPECT_EQ(Codes(), (std::vector<std::u16string>{u"A1", u"A2"}));
  EXPECT_EQ(result.added, 2);
  EXPECT_TRUE(result.walked);
}

TEST_F(ImportRun, PurgeAnsweredNoKeepsTheArticlesAndAddsOnlyNewCodes) {
  setup.AddArticle(u"A1");
  setup.AddArticle(u"A3");
  setup.AddSourceCodes({u"A1", u"A2", u"A3", u"A4"});
  setup.window.answers = {archives::kAnswerNo};
  const import::ImportResult result = setup.Press();
  ASSERT_EQ(setup.window.messages.size(), 2u);
  EXPECT_EQ(setup.window.messages[0], (ShownMessage{std::u16string(import::kPurgeQuestion), MessageStyle::YesNo}));
  EXPECT_EQ(setup.window.messages[1].text, import::kImportDone);
  EXPECT_EQ(Codes(), (std::vector<std::u16string>{u"A1", u"A3", u"A2", u"A4"}));
  EXPECT_EQ(result.added, 2);
  EXPECT_EQ(result.already_present, 2);
}

TEST_F(ImportRun, PurgeAnsweredYesEmptiesTheTableThenAddsEachDistinctCodeOnce) {
  setup.AddArticle(u"VECCHIO");
  setup.AddArticle(u"A1");
  setup.AddSource({T(u"A1"), T(u"primo")});
  setup.AddSource({Value()});
  setup.AddSource({T(u"A2")});
  setup.AddSource({T(u"A1"), T(u"secondo")});
  setup.window.pickers[2] = u"Nome";
  setup.window.answers = {archives::kAnswerYes};
  const import::ImportResult result = setup.Press();
  EXPECT_EQ(setup.window.MessageTexts(),
            (std::vector<std::u16string>{std::u16string(import::kPurgeQuestion), std::u16string(import::kPurgeDone),
                                         std::u16string(import::kImportDone)}));
  EXPECT_EQ(setup.window.messages[1].style, MessageStyle::Information);
  EXPECT_EQ(Codes(), (std::vector<std::u16string>{u"A1", u"A2"}));
  EXPECT_EQ(setup.Stored(u"Descrizione")[0], T(u"primo")) << "filled from the first record with the code";
  EXPECT_EQ(result.added, 2);
  EXPECT_EQ(result.already_present, 1);
  EXPECT_EQ(result.without_code, 1);
}

TEST_F(ImportRun, AFailedPurgeIsReportedAndNothingIsImported) {
  setup.AddArticle(u"A1");
  setup.AddSourceCodes({u"A2"});
  setup.destination->FailOn("Execute", {}, 0, INT_MAX, "the file is locked", engine::ErrorKind::Locked);
  setup.window.answers = {archives::kAnswerYes};
  const import::ImportResult result = setup.Press();
  EXPECT_EQ(setup.window.MessageTexts(),
            (std::vector<std::u16string>{std::u16string(import::kPurgeQuestion),
                                         u"Cancellazione non riuscita. Il file è in uso da un altro programma."}));
  EXPECT_EQ(Codes(), std::vector<std::u16string>{u"A1"});
  EXPECT_FALSE(result.walked);
}

TEST_F(ImportRun, ASourceWhoseCodesAreAllPresentAddsNothingAndSaysDone) {
  setup.AddArticle(u"A1");
  setup.AddArticle(u"A2");
  setup.AddSourceCodes({u"A2", u"A1"});
  setup.window.answers = {archives::kAnswerNo};
  const import::ImportResult result = setup.Press();
  EXPECT_EQ(setup.window.MessageTexts().back(), import::kImportDone);
  EXPECT_EQ(setup.articoli().rows.size(), 2u);
  EXPECT_EQ(result.already_present, 2);
  EXPECT_EQ(result.added, 0);
}

TEST_F(ImportRun, NullCodesArePassedOverButAdvanceTheBar) {
  setup.AddSource({Value()});
  setup.AddSource({T(u"A1")});
  setup.AddSource({Value()});
  setup.AddSource({T(u"A2")});
  const import::ImportResult result = setup.Press();
  EXPECT_EQ(setup.window.progress, (std::vector<float>{0, 25, 50, 75, 100}));
  EXPECT_EQ(Codes(), (std::vector<std::u16string>{u"A1", u"A2"}));
  EXPECT_EQ(result.without_code, 2);
  EXPECT_EQ(DestinationOpenings(), 1u + 2 * 2) << "the probe, then a lookup and an add per code";
  EXPECT_EQ(setup.window.MessageTexts().back(), import::kImportDone);
}

TEST_F(ImportRun, CodesAreLookedUpByTheirQuotedTextForm) {
  setup.AddArticle(u"L'ORO-12");
  setup.AddSource({T(u"L'ORO-12")});
  setup.AddSource({T(u"")});
  setup.AddSource({Value::Integer(123)});
  setup.AddSource({Value::Double(12.5)});
  setup.window.answers = {archives::kAnswerNo};
  const import::ImportResult result = setup.Press();
  EXPECT_TRUE(Opened(*setup.destination, Lookup(u"L''ORO-12")));
  EXPECT_TRUE(Opened(*setup.destination, Lookup(u"")));
  EXPECT_TRUE(Opened(*setup.destination, Lookup(u"123")));
  EXPECT_TRUE(Opened(*setup.destination, Lookup(u"12,5"))) << "the locale's text form";
  EXPECT_EQ(result.already_present, 1);
  EXPECT_EQ(result.added, 3) << "the empty code is new too";
  EXPECT_EQ(Codes(), (std::vector<std::u16string>{u"L'ORO-12", u"<null>", u"123", u"12,5"}))
      << "an empty code writes nothing at position 1";
}

TEST_F(ImportRun, ACodeLongerThanTheColumnIsFoundAgainOnTheNextRun) {
  const std::u16string long_code = std::u16string(50, u'X') + u"-COLORE-ROSSO";
  setup.AddSourceCodes({long_code, long_code.substr(0, 50) + u"-BLU"});
  EXPECT_EQ(setup.Press().added, 1) << "both are stored as the same first 50 characters";
  setup.window.answers = {archives::kAnswerNo};
  const import::ImportResult again = setup.Press();
  EXPECT_EQ(again.added, 0);
  EXPECT_EQ(again.already_present, 2);
  EXPECT_EQ(Codes(), std::vector<std::u16string>{long_code.substr(0, 50)});
}

// The window shows it is busy from the checks to the closing message, the walk included;
// the purge question falls inside, the closing message after.
TEST_F(ImportRun, TheWindowIsBusyFromTheChecksToTheClosingMessage) {
  setup.AddArticle(u"A1");
  setup.AddSourceCodes({u"A1", u"A2"});
  setup.window.answers = {archives::kAnswerNo};
  std::vector<int> busy_at_progress;
  setup.window.on_progress = [&](float) { busy_at_progress.push_back(setup.window.busy_depth); };
  setup.Press();
  EXPECT_EQ(busy_at_progress, (std::vector<int>{0, 1, 1}));  // the reset, then 50 and 100 in the walk
  EXPECT_EQ(setup.window.busy_depth_at_message, (std::vector<int>{1, 0}));
  EXPECT_EQ(setup.window.busy_periods, 1);
  EXPECT_EQ(setup.window.busy_depth, 0);

  // "Chiudi" ends the program without it.
  ImportSetup closing;
  EXPECT_THROW(closing.Press(u"Chiudi"), archives::ProgramEnded);
  EXPECT_EQ(closing.window.busy_periods, 0);
}

TEST_F(ImportRun, TheBarMovesOnlyWhenItsWholeValueChanges) {
  std::vector<std::u16string> codes;
  for (int i = 0; i < 1000; ++i) codes.push_back(u"C" + engine::FromUtf8(std::to_string(i)));
  setup.AddSourceCodes(codes);
  setup.Press();
  const auto& progress = setup.window.progress;
  ASSERT_EQ(progress.size(), 101u);
  for (size_t i = 0; i < progress.size(); ++i) EXPECT_FLOAT_EQ(progress[i], static_cast<float>(i));

  ImportSetup thirds;
  thirds.AddSourceCodes({u"A", u"B", u"C"});
  thirds.Press();
  ASSERT_EQ(thirds.window.progress.size(), 4u);
  EXPECT_FLOAT_EQ(thirds.window.progress[1], 100.0f / 3);
  EXPECT_FLOAT_EQ(thirds.window.progress[2], 200.0f / 3);
  EXPECT_EQ(thirds.window.progress[3], 100.0f);
}

// A record refused for itself is passed over; a write refused for a reason every later one
// would meet too (the disk full or read-only, the file in use) stops the run at once, and
// the message says how many articles came in before.
TEST(ImportRunFailures, ARecordThatCannotBeStoredIsReportedInItalianNotHidden) {
  struct Case {
    engine::ErrorKind kind;
    std::string engine_reason;  // for archivi
    std::u16string window_reason;
    std::vector<std::u16string> stored = {u"A1", u"A4"};
    bool stops = false;
  };
  const Case cases[] = {
      {engine::ErrorKind::DiskFull, "cannot write the database: the disk is full", u"Il disco è pieno.", {u"A1"}, true},
      {engine::ErrorKind::ReadOnlyFileSystem, "cannot write the database: the file system is read-only",
       u"Il disco è di sola lettura.", {u"A1"}, true},
      {engine::ErrorKind::Locked, "the database is being read by another program",
       u"Il file è in uso da un altro programma.", {u"A1"}, true},
      // A file changed under the run ends the walk: the records left are not imported.
      {engine::ErrorKind::FileChanged, "the file ended at page 7 while it was read",
       u"Il file è cambiato durante la lettura.", {u"A1"}},
      // A rule's own text is already the user's.
      {engine::ErrorKind::RuleViolation, "Il prezzo non può essere negativo.", u"Il prezzo non può essere negativo."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.engine_reason);
    ImportSetup setup;
    setup.AddSourceCodes({u"A1", u"A2", u"A3", u"A4"});
    setup.destination->FailOn("Update", {}, 1, 2, c.engine_reason, c.kind);
    const import::ImportResult result = setup.Press();
    const int failed = 4 - static_cast<int>(c.stored.size());
    EXPECT_EQ(setup.window.MessageTexts().back(),
              c.stops ? Stopped(1, c.window_reason) : WithErrors(failed, c.window_reason));
    EXPECT_EQ(CodesIn(setup), c.stored);
    EXPECT_EQ(result.added, static_cast<long>(c.stored.size()));
    EXPECT_EQ(result.failed, failed);
    EXPECT_EQ(result.first_failure, c.engine_reason);
  }
}

// Records not imported make the closing message an error, values the stored articles lack a
// warning; the reason is that of the first loss. An article a failed commit took back is not
// imported, and its values count no more.
TEST_F(ImportRun, TheClosingMessageCountsRecordsAndValuesLost) {
  struct Case {
    const char* name;
    const char* failing;  // an operation of the destination that fails once, or nothing
    engine::ErrorKind kind;
    int skip;
    long added, failed, values_not_written;
    std::u16string counts;           // the closing message up to its reason
    std::string first_engine_reason;
  };
  const std::string refused = "column Prezzo: not an amount";
  const Case cases[] = {
      {"values only", nullptr, {}, 0, 3, 0, 2, u"Importazione eseguita con avvisi: 2 valori non scritti.", refused},
      {"records and values", "Update", engine::ErrorKind::InvalidValue, 2, 2, 1, 2,
       u"Importazione eseguita con errori: 1 articoli non importati, 2 valori non scritti.", refused},
      {"records only, their values taken back with them", "Commit", engine::ErrorKind::DiskFull, 0, 0, 3, 0,
       u"Importazione eseguita con errori: 3 articoli non importati.", "no space left on the disk"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ImportSetup s;
    s.window.pickers[4] = u"Nome";
    s.AddSource({T(u"A1"), T(u"dodici")});
    s.AddSource({T(u"A2"), T(u"1e400")});
    s.AddSource({T(u"A3"), T(u"12,50")});
    if (c.failing) s.destination->FailOn(c.failing, {}, c.skip, 1, "no space left on the disk", c.kind);
    TempDir dir;
    const std::filesystem::path report = dir.path() / "resoconto.csv";
    const import::ImportResult result = s.Press(import::kImportKey, import::ReportPlace::File(report));
    EXPECT_EQ(result.added, c.added);
    EXPECT_EQ(result.failed, c.failed);
    EXPECT_EQ(result.values_not_written, c.values_not_written);
    EXPECT_EQ(static_cast<long>(s.articoli().rows.size()), c.added) << "the counts are what the table holds";
    EXPECT_EQ(result.first_failure, c.first_engine_reason);
    EXPECT_EQ(s.window.MessageTexts().back(), c.counts + u" " + result.first_failure_in_italian + u" " +
                                                  import::ReportDetailText(engine::FromUtf8(report.string())));
    // The report lists what the counts count: an article a failed commit took back as not
    // imported, and none of its values.
    if (const auto rows = PythonCsvRows(report)) {
      long not_imported = 0, not_written = 0;
      for (const auto& row : *rows) {
        if (row.size() != import::kReportHeader.size()) continue;
        not_imported += row[2] == engine::ToUtf8(import::kReportNotImported);
        not_written += row[2] == engine::ToUtf8(import::kReportValueNotWritten);
      }
      EXPECT_EQ(not_imported, c.failed);
      EXPECT_EQ(not_written, c.values_not_written);
    }
  }
}

TEST_F(ImportRun, AFailedLookupDoesNotAddTheRecord) {
  setup.AddSourceCodes({u"A1", u"A2"});
  setup.destination->FailOn("OpenRecordset", u"'A1'", 0, INT_MAX, "the disk refused a read", engine::ErrorKind::Io);
  const import::ImportResult result = setup.Press();
  EXPECT_EQ(Codes(), std::vector<std::u16string>{u"A2"});
  EXPECT_EQ(result.failed, 1);
  EXPECT_EQ(setup.window.MessageTexts().back(), WithErrors(1, u"Errore di lettura o scrittura sul disco."));
}

TEST_F(ImportRun, APriceListFoundDamagedStopsTheRunAndIsNamed) {
  setup.AddSourceCodes({u"A1", u"A2"});
  setup.destination->FailOn("OpenRecordset", u"'A1'", 0, INT_MAX, "index page 12 is damaged",
                            engine::ErrorKind::Damaged);
  const import::ImportResult result = setup.Press();
  EXPECT_TRUE(Codes().empty());
  EXPECT_EQ(result.failed, 2);
  EXPECT_EQ(setup.window.MessageTexts().back(), import::DamagedPriceListText(u"listini.mdb", u"Articoli", 0));
}

TEST_F(ImportRun, ACodeColumnMissingFromTheSourceAddsNothing) {
  setup.window.pickers[1] = u"CodiceSparito";
  setup.AddSourceCodes({u"A1", u"A2", u"A3"});
  const import::ImportResult result = setup.Press();
  EXPECT_TRUE(setup.articoli().rows.empty());
  EXPECT_EQ(result.failed, 3);
  EXPECT_EQ(setup.window.MessageTexts().back().substr(0, import::kImportDoneWithErrorsStart.size()),
            import::kImportDoneWithErrorsStart);
}

TEST_F(ImportRun, AWalkThatCannotMoveOnStopsAndCountsTheRest) {
  setup.AddSourceCodes({u"A1", u"A2", u"A3", u"A4", u"A5"});
  setup.source->FailOn("MoveNext", {}, 1, INT_MAX, "the file cannot be read at page 9");
  const import::ImportResult result = setup.Press();
  EXPECT_EQ(Codes(), (std::vector<std::u16string>{u"A1", u"A2"}));
  EXPECT_EQ(result.failed, 3);
  EXPECT_EQ(setup.window.MessageTexts().back(), WithErrors(3, u"Errore di lettura o scrittura sul disco."));

  // Without the record count there is no walk at all, and that is no success either.
  ImportSetup uncounted;
  uncounted.AddSourceCodes({u"A1", u"A2"});
  uncounted.source->FailOn("RecordCount", {}, /*skip=*/1, INT_MAX, "tabella illeggibile");
  const import::ImportResult none = uncounted.Press();
  EXPECT_TRUE(uncounted.articoli().rows.empty());
  EXPECT_GT(none.failed, 0);
  EXPECT_EQ(none.first_failure, "tabella illeggibile");
  EXPECT_EQ(uncounted.window.progress, std::vector<float>{0});
}

TEST_F(ImportRun, TheDestinationIsCommittedBeforeTheClosingMessage) {
  setup.AddSourceCodes({u"A1"});
  int commits_at_message = -1;
  setup.window.on_message = [&] { commits_at_message = setup.destination->commits(); };
  setup.Press();
  EXPECT_EQ(commits_at_message, 1);

  ImportSetup failing;
  failing.AddSourceCodes({u"A1", u"A2"});
  failing.destination->FailOn("Commit", {}, 0, INT_MAX, "cannot write the database: Input/output error");
  const import::ImportResult result = failing.Press();
  EXPECT_EQ(failing.window.MessageTexts().back(), WithErrors(2, u"Errore di lettura o scrittura sul disco."));
  EXPECT_EQ(result.added, 0);

  // With the purge, the failed commit undid the deletion too.
  ImportSetup purged;
  purged.AddArticle(u"A0");
  purged.AddSourceCodes({u"A1"});
  purged.destination->FailOn("Commit", {}, 0, INT_MAX, "cannot write the database: Input/output error");
  purged.window.answers = {archives::kAnswerYes};
  purged.Press();
  EXPECT_EQ(purged.window.MessageTexts().back(),
            std::u16string(import::kPurgeUndone) + u"Errore di lettura o scrittura sul disco.");
}

TEST_F(ImportRun, PressesQueuedDuringTheRunAreIgnored) {
  setup.AddSourceCodes({u"A1", u"A2"});
  int nested_presses = 0;
  setup.window.on_process_events = [&] {
    if (nested_presses++ > 0) return;
    // Both would start a run (or end the program) inside this one.
    EXPECT_FALSE(import::RunImport(u"Importa", setup.state, setup.window, setup.window).walked);
    import::RunImport(u"Chiudi", setup.state, setup.window, setup.window);
  };
  EXPECT_NO_THROW(setup.Press());
  EXPECT_EQ(Codes(), (std::vector<std::u16string>{u"A1", u"A2"}));
  EXPECT_EQ(setup.window.MessageTexts(), std::vector<std::u16string>{std::u16string(import::kImportDone)});
  // Once the run is over, the next press is handled again.
  EXPECT_THROW(setup.Press(u"Chiudi"), archives::ProgramEnded);
}

TEST_F(ImportRun, ClosingTheWindowDuringPendingEventsIsNotSwallowed) {
  setup.AddSourceCodes({u"A1"});
  setup.window.on_process_events = [] { throw archives::ProgramEnded{}; };
  EXPECT_THROW(setup.Press(), archives::ProgramEnded);
  EXPECT_TRUE(setup.articoli().rows.empty());
  setup.window.on_process_events = nullptr;
  EXPECT_TRUE(setup.Press().walked) << "the run after it is not taken for a nested one";
}

TEST_F(ImportRun, ASecondRunOnTheSameTableStartsFromTheFirstRecord) {
  setup.AddSourceCodes({u"A1", u"A2"});
  setup.Press();
  setup.window.answers = {archives::kAnswerYes};
  setup.window.messages.clear();
  setup.window.progress.clear();
  // The source binding is not refreshed: it stands past its last record.
  const import::ImportResult again = import::RunImport(u"Importa", setup.state, setup.window, setup.window);
  EXPECT_EQ(again.added, 2);
  EXPECT_EQ(setup.window.progress, (std::vector<float>{0, 50, 100}));
  EXPECT_EQ(Codes(), (std::vector<std::u16string>{u"A1", u"A2"}));
}

}  // namespace
}  // namespace testsupport
