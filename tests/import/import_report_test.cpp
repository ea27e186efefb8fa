// The report of an import run, read back by python3's csv module (a reader that is not ours):
// every field in its column with its accents, one line per record not imported and per value
// not written, where a clerk finds it in the source, and the file beside the real price list.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "engine/jet/create/database_creator.h"
#include "import/import_report.h"
#include "import/italian_texts.h"
#include "import/report_file.h"
#include "tests/import/import_setup.h"
#include "tests/import/real_files.h"
#include "tests/support/files.h"
#include "tests/support/fixtures.h"
#include "tests/support/xls_writer.h"

namespace testsupport {
namespace {

namespace fs = std::filesystem;
using Rows = std::vector<std::vector<std::string>>;
using import::ReportPlace;

std::string U8(std::u16string_view text) { return engine::ToUtf8(text); }

// The report's rows as python3 reads them; skips the test when python3 is missing.
Rows ReadWithPython(const fs::path& file) {
  std::optional<Rows> rows = PythonCsvRows(file);
  if (!rows) throw std::runtime_error("python3 is not installed");
  return *rows;
}

// The detail lines, below the header.
Rows Detail(const Rows& rows) {
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].size() == import::kReportHeader.size() && rows[i][0] == U8(import::kReportHeader[0])) {
      return Rows(rows.begin() + long(i) + 1, rows.end());
    }
  }
  return {};
}

std::tm LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm time{};
  time.tm_year = year - 1900, time.tm_mon = month - 1, time.tm_mday = day;
  time.tm_hour = hour, time.tm_min = minute, time.tm_sec = second;
  return time;
}

// The summary's value for a key.
std::string Summary(const Rows& rows, std::u16string_view key) {
  for (const auto& row : rows) {
    if (row.size() == 2 && row[0] == U8(key)) return row[1];
  }
  return "(missing)";
}

TEST(ImportReport, ASpreadsheetReaderFindsEveryFieldInItsColumn) {
  import::ImportReport report;
  report.source_archive = u"/home/ufficio/Fornitori \"Nord\"; 2026/listino.xls";
  report.table = u"'Listino più recente$'";
  report.price_list = u"/var/lib/importazione-archivi/listini.mdb";
  report.start = LocalTime(2026, 12, 7, 14, 3, 5);
  report.end = LocalTime(2026, 12, 7, 14, 4, 9);
  report.purged = true;
  report.mapping = {{import::kPickerCaptions[1], u"Codice"}, {import::kPickerCaptions[4], u"Prezzo €"}};
  report.added = 3, report.already_present = 2, report.without_code = 1, report.not_imported = 3;
  report.values_not_written = 1, report.values_changed = 1;
  // Given out of order, as the run settles them; written in source order.
  report.lines = {
      {{7, u"CAFFÈ;1"}, false, {"", u"Il valore «dodici» non è un numero valido.", u"Prezzo", u"dodici", true}},
      {{3, u"ZUPPA \"ß\""}, true, {"", u"Il prezzo non può essere negativo.", u"Prezzo", u"-5,50", false}},
      {{5, u""}, true, {"", u"Riga su\r\ndue righe.", u"", u"", false}},
      {{9, u"=HYPERLINK(\"x\")"}, true, {"", u"Codice troppo lungo.", u"Immagine", u"-cmd|' /C calc'!A0", false}},
      {{11, u"\t=1+1"}, true, {"", u"Codice troppo lungo.", u"Nome", u"\r@SUM(A1)", false}},
      {{8, u"ΑΒΓ1"}, false, {"", import::ChangedTextReason(u"???1"), u"Codice Articolo", u"ΑΒΓ1", false}, 0, true},
      {{12, u""}, true, {"", u"Il listino è in uso.", u"", u"", false}, 1989},
  };
  testsupport::TempDir dir;
  const fs::path file = dir.path() / "resoconto.csv";
  import::WriteReport(file, import::ReportCsv(report));

  const std::string bytes = ReadText(file);
  EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
  size_t bare_line_feeds = 0;
  for (size_t i = 0; i < bytes.size(); ++i) bare_line_feeds += bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r');
  EXPECT_EQ(bare_line_feeds, 0u) << "CR LF line ends";
  EXPECT_NE(bytes.find(";\"-5,50\";"), std::string::npos) << "a comma is quoted: Calc may split there too";
  EXPECT_EQ(bytes.find(";=HYPERLINK"), std::string::npos) << "no field begins a formula";

  const Rows expected = {
      {"Archivio di origine", "/home/ufficio/Fornitori \"Nord\"; 2026/listino.xls"},
      {"Tabella", "'Listino più recente$'"},
      {"Listino", "/var/lib/importazione-archivi/listini.mdb"},
      {"Inizio", "07/12/2026 14:03:05"},
      {"Fine", "07/12/2026 14:04:09"},
      {"Cancellazione prima dell'importazione", "Sì"},
      {"Codice articolo", "Codice"},
      {"Prezzo", "Prezzo €"},
      {"Articoli aggiunti", "3"},
      {"Già presenti", "2"},
      {"Senza codice", "1"},
      {"Non importati", "3"},
      {"Valori non scritti", "1"},
      {"Valori cambiati", "1"},
      {},
      {"Riga", "Codice articolo", "Esito", "Campo", "Valore", "Motivo"},
      {"3", "ZUPPA \"ß\"", "non importato", "Prezzo", "-5,50", "Il prezzo non può essere negativo."},
      {"5", "", "non importato", "", "", "Riga su\r\ndue righe."},
      {"7", "CAFFÈ;1", "valore non scritto", "Prezzo", "dodici", "Il valore «dodici» non è un numero valido."},
      {"8", "ΑΒΓ1", "valore cambiato", "Codice Articolo", "ΑΒΓ1",
       "carattere non previsto dalla codifica del listino: scritto come «???1»"},
      {"9", "'=HYPERLINK(\"x\")", "non importato", "Immagine", "'-cmd|' /C calc'!A0", "Codice troppo lungo."},
      {"11", "'\t=1+1", "non importato", "Nome", "'\r@SUM(A1)", "Codice troppo lungo."},
      {"12", "", "1989 record non letti", "", "", "Il listino è in uso."},
  };
  try {
    EXPECT_EQ(ReadWithPython(file), expected);
  } catch (const std::runtime_error& missing) {
    GTEST_SKIP() << missing.what();
  }
}

// The purge lines say what the price list holds after the run: how many articles the purge
// deleted, and that it was undone when the final commit failed.
TEST(ImportReport, ThePurgeLinesSayWhatStayedDeleted) {
  struct Case {
    const char* name;
    int answer;
    bool commit_fails;
    std::string purge, deleted;
  };
  const Case cases[] = {
      {"no purge", archives::kAnswerNo, false, "No", "(missing)"},
      {"purged", archives::kAnswerYes, false, "Sì", "2"},
      {"purged, then undone", archives::kAnswerYes, true, "Sì, poi annullata", "0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ImportSetup setup;
    setup.AddArticle(u"A0");
    setup.AddArticle(u"A9");
    setup.AddSourceCodes({u"A1"});
    if (c.commit_fails) setup.destination->FailOn("Commit", {}, 0, INT_MAX, "cannot write the database");
    setup.window.answers = {c.answer};
    TempDir dir;
    const fs::path file = dir.path() / "resoconto.csv";
    setup.Press(import::kImportKey, ReportPlace::File(file));
    try {
      const Rows rows = ReadWithPython(file);
      EXPECT_EQ(Summary(rows, import::kReportPurgeKey), c.purge);
      EXPECT_EQ(Summary(rows, import::kReportDeletedKey), c.deleted);
    } catch (const std::runtime_error& missing) {
      GTEST_SKIP() << missing.what();
    }
  }
}

// A workbook whose header stands on the sheet's third row, with prices a price list cannot take.
void WriteAwkwardWorkbook(const fs::path& path) {
  WorkbookWriter book;
  const size_t sheet = book.AddSheet(u"Prodotti");
  const std::vector<std::pair<std::u16string, std::u16string>> rows = {
      {u"Codice", u"Prezzo"}, {u"B1", u"3,50"}, {u"B2", u"dodici"}, {u"B3", u"12"}, {u"B4", u"tre euro"}};
  for (size_t i = 0; i < rows.size(); ++i) {
    book.Text(sheet, int(i) + 2, 0, rows[i].first);
    book.Text(sheet, int(i) + 2, 1, rows[i].second);
  }
  book.Save(path);
}

// Every value a run lost has its line, with the record's place and code, the field, the
// value as the source holds it and the reason; the counts say as many.
TEST(ImportReport, EveryValueNotWrittenHasItsLine) {
  struct Case {
    const char* name;
    void (*write_source)(const fs::path&);
    const char* file_name;
    std::u16string table, connect;
    Pickers pickers;
    Rows first_lines;  // the report's first detail lines
  };
  const std::string not_written = U8(import::kReportValueNotWritten);
  const Case cases[] = {
      {"prices and image paths",
       WriteAwkwardSource,
       "fonte.mdb",
       u"Prodotti",
       std::u16string(archives::kAccessConnect),
       {u"", u"Codice", u"", u"", u"Prezzo", u"Listino", u"Immagine"},
       {{"1", "A1", not_written, "Prezzo", "dodici", "Il valore «dodici» non è un numero valido per il campo Prezzo."},
        {"2", "A2", not_written, "Prezzo", "1e400", "Il valore «1e400» non è un numero valido per il campo Prezzo."}}},
      {"a workbook: the sheet's row numbers",
       WriteAwkwardWorkbook,
       "fonte.xls",
       u"Prodotti$",
       std::u16string(archives::kExcelConnect),
       {u"", u"Codice", u"", u"", u"Prezzo", u"", u""},
       {{"5", "B2", not_written, "Prezzo", "dodici", "Il valore «dodici» non è un numero valido per il campo Prezzo."},
        {"7", "B4", not_written, "Prezzo", "tre euro",
         "Il valore «tre euro» non è un numero valido per il campo Prezzo."}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const fs::path source = dir.path() / c.file_name;
    const fs::path destination = dir.path() / "listini.mdb";
    const fs::path report = dir.path() / "resoconto.csv";
    c.write_source(source);
    engine::jet::CreateListiniDatabase(destination);
    BoundFiles run(destination, source, c.table, c.pickers, c.connect);
    const import::ImportResult result = run.Press(archives::kAnswerNo, ReportPlace::File(report));
    run.state.DataDestinazione.Close();
    ASSERT_EQ(result.report, report);
    EXPECT_EQ(run.window.MessageTexts().back().ends_with(import::ReportDetailText(engine::FromUtf8(report.string()))),
              true);

    Rows rows;
    try {
      rows = ReadWithPython(report);
    } catch (const std::runtime_error& missing) {
      GTEST_SKIP() << missing.what();
    }
    EXPECT_EQ(Summary(rows, import::kReportAddedKey), std::to_string(result.added));
    EXPECT_EQ(Summary(rows, import::kReportValuesNotWrittenKey), std::to_string(result.values_not_written));
    const Rows detail = Detail(rows);
    ASSERT_EQ(long(detail.size()), result.values_not_written);
    for (const auto& line : detail) {
      ASSERT_EQ(line.size(), 6u);
      EXPECT_EQ(line[2], not_written);
      EXPECT_FALSE(line[3].empty() || line[4].empty() || line[5].empty()) << line[0];
    }
    ASSERT_GE(detail.size(), c.first_lines.size());
    EXPECT_EQ(Rows(detail.begin(), detail.begin() + long(c.first_lines.size())), c.first_lines);
  }
}

// The window's runs write into "Importazioni" beside the file the price list's link points
// to, made with that folder's group and mode; a report that cannot be written changes
// nothing of the run, and the closing message says why. Its "Listino" line names the file
// written, and the name the program opened it by when that is another.
TEST(ImportReport, TheWindowsReportGoesBesideTheRealPriceList) {
  struct Case {
    const char* name;
    bool report_folder_is_a_file;
    bool through_link;  // the price list opened by the link beside the program
  };
  const Case cases[] = {{"written", false, true}, {"opened by its own name", false, false}, {"not written", true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const fs::path data = dir.path() / "dati";
    fs::create_directory(data);
    ASSERT_EQ(::chmod(data.c_str(), 02770), 0);
    const fs::path destination = data / "listini.mdb";
    engine::jet::CreateListiniDatabase(destination);
    const fs::path link = dir.path() / "listini.mdb";
    fs::create_symlink(destination, link);
    if (c.report_folder_is_a_file) WriteBytes(data / "Importazioni", {});
    const fs::path source = dir.path() / "fonte.mdb";
    WriteAwkwardSource(source);

    BoundFiles run(c.through_link ? link : destination, source, u"Prodotti",
                   {u"", u"Codice", u"", u"", u"Prezzo", u"", u""});
    const import::ImportResult result = run.Press(archives::kAnswerNo, ReportPlace::BesidePriceList());
    run.state.DataDestinazione.Close();
    EXPECT_EQ(result.added, 4);
    EXPECT_EQ(result.values_not_written, 2);
    const std::u16string closing = run.window.MessageTexts().back();
    if (c.report_folder_is_a_file) {
      EXPECT_TRUE(result.report.empty());
      EXPECT_TRUE(closing.ends_with(import::ReportNotWrittenText(engine::FromUtf8((data / "Importazioni").string()),
                                                                 u"il file esiste già")))
          << U8(closing);
      continue;
    }
    EXPECT_EQ(result.report.parent_path(), data / "Importazioni");
    EXPECT_EQ(result.report.filename().string().substr(0, 13), "importazione-");
    EXPECT_TRUE(closing.ends_with(import::ReportDetailText(engine::FromUtf8(result.report.string())))) << U8(closing);
    struct stat folder {};
    ASSERT_EQ(::stat(result.report.parent_path().c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 07777, 02770u);
    // The file written, and the name it was opened by when that is another.
    const std::string written = destination.string();
    try {
      EXPECT_EQ(Summary(ReadWithPython(result.report), import::kReportPriceListKey),
                c.through_link ? written + " (aperto come " + link.string() + ")" : written);
    } catch (const std::runtime_error& missing) {
      GTEST_SKIP() << missing.what();
    }
  }
}

}  // namespace
}  // namespace testsupport
