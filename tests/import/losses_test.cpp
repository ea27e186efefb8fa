// What an import run loses, counted on real files: the values a source of awkward values
// cannot give the price list, the records of a zeroed page of a source, the articles a full
// disk takes back. The counts are checked against what the destination file holds.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <cmath>
#include <limits>
#include <set>

#include "engine/database/database.h"
#include "engine/jet/catalog/catalog.h"
#include "engine/jet/create/database_creator.h"
#include "engine/jet/database/jet_database.h"
#include "engine/jet/page/data_page.h"
#include "engine/jet/storage/pager.h"
#include "engine/jet/catalog/table_definition_reader.h"
#include "engine/jet/row/table_scan.h"
#include "engine/open/open_database.h"
#include "import/import_run.h"
#include "import/italian_texts.h"
#include "tests/import/real_files.h"
#include "tests/support/files.h"
#include "tests/support/fixtures.h"
#include "tests/support/scripted_window.h"

namespace testsupport {
namespace {

namespace fs = std::filesystem;
using engine::Value;

const engine::TextLocale kLocale = engine::TextLocale::Italian();
// The window bound to two files; the price list is closed once the run ends.
struct FileRun : BoundFiles {
  FileRun(const fs::path& destination, const fs::path& source, const Pickers& pickers)
      : BoundFiles(destination, source, u"Prodotti", pickers) {}
  import::ImportResult Press(const fs::path& report = {}) {
    const import::ImportResult result =
        BoundFiles::Press(archives::kAnswerNo, report.empty() ? import::ReportPlace{} : import::ReportPlace::File(report));
    state.DataDestinazione.Close();
    return result;
  }
};

std::u16string Counted(std::u16string_view start, long n, std::u16string_view end, const std::u16string& reason) {
  return std::u16string(start) + engine::FromUtf8(std::to_string(n)) + std::u16string(end) + u" " + reason;
}

TEST(Losses, AwkwardValuesAreCountedExactlyAsTheFileLacksThem) {
  struct Case {
    const char* name;
    Pickers pickers;
    std::vector<std::pair<std::u16string, std::u16string>> feeds;  // source column -> Articoli column
    long values_not_written;
  };
  const Case cases[] = {
      // "dodici", "1e400"; NaN, 1e300; 300 characters into a column of 255.
      {"prices and image paths",
       {u"", u"Codice", u"", u"", u"Prezzo", u"Listino", u"Immagine"},
       {{u"Prezzo", u"Prezzo"}, {u"Listino", u"Prezzo 2"}, {u"Immagine", u"Immagine"}},
       5},
      {"a date past the year 9999 as a price", {u"", u"Codice", u"", u"", u"", u"Data", u""}, {{u"Data", u"Prezzo 2"}}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const fs::path source = dir.path() / "fonte.mdb";
    const fs::path destination = dir.path() / "listini.mdb";
    WriteAwkwardSource(source);
    engine::jet::CreateListiniDatabase(destination);
    FileRun run(destination, source, c.pickers);
    const import::ImportResult result = run.Press();
    EXPECT_EQ(result.added, 4);
    EXPECT_EQ(result.failed, 0);
    EXPECT_EQ(result.values_not_written, c.values_not_written);
    EXPECT_EQ(run.window.MessageTexts().back(), Counted(import::kImportDoneWithWarningsStart, c.values_not_written,
                                                        import::kValuesNotWrittenEnd, result.first_failure_in_italian));

    // Each value lost is a column the file holds Null for while its source value was there
    // (the articles were added in the source's order).
    auto sources = engine::OpenDatabase(source, u"Access 2000;", engine::OpenMode::ReadOnly, kLocale);
    auto targets = engine::OpenDatabase(destination, u"Access 2000;", engine::OpenMode::ReadOnly, kLocale);
    auto from = sources->OpenRecordset(u"Prodotti");
    auto to = targets->OpenRecordset(u"Articoli");
    long missing = 0;
    for (; !to->Eof(); to->MoveNext(), from->MoveNext()) {
      for (const auto& [source_column, article_column] : c.feeds) {
        missing += !from->GetValue(source_column).is_null() && to->GetValue(article_column).is_null();
      }
    }
    EXPECT_EQ(missing, result.values_not_written);
  }
}

// The source's table "Prodotti" as its file holds it.
struct SourceTable {
  std::vector<engine::jet::RowId> rows;  // its live rows
  size_t page_size = 0;
  uint32_t page_count = 0;  // of the file
  off_t row_count_at = 0;   // where in the file its definition keeps its row count
};

SourceTable ReadProdotti(const fs::path& source) {
  SourceTable found;
  auto pager = engine::jet::Pager::Open(source, engine::OpenMode::ReadOnly);
  engine::jet::TextDecoder text(pager->format().version, pager->header().code_page, pager->file_name());
  for (const auto& entry : engine::jet::ReadCatalog(*pager, text)) {
    if (entry.name != u"Prodotti") continue;
    const auto table = engine::jet::ReadTableDefinition(*pager, text, entry.tdef_page, entry.name);
    found.rows = engine::jet::ListLiveRows(*pager, table);
    found.row_count_at = static_cast<off_t>(entry.tdef_page.value()) * static_cast<off_t>(pager->page_size()) +
                         static_cast<off_t>(pager->format().tdef_row_count);
  }
  found.page_size = pager->page_size();
  found.page_count = pager->page_count();
  return found;
}

// Writes bytes over the file at `offset`, as damage would.
void Overwrite(const fs::path& file, off_t offset, const void* bytes, size_t size) {
  const int fd = ::open(file.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  const ssize_t written = ::pwrite(fd, bytes, size, offset);
  ::close(fd);
  ASSERT_EQ(written, static_cast<ssize_t>(size));
}

// The records of zeroed source pages are counted as not imported, with the reason; when no
// page of the table is left, nothing is imported and the run says how many records it could
// not read, rather than that the source is empty.
TEST(Losses, TheRecordsOfZeroedSourcePagesAreReportedAsNotImported) {
  REQUIRE_FIXTURES();
  for (const bool every_page : {false, true}) {
    SCOPED_TRACE(every_page ? "every page" : "one page");
    TempDir dir;
    const fs::path source = dir.Copy(Listini("fonte.mdb"));
    const fs::path destination = dir.path() / "listini.mdb";
    engine::jet::CreateListiniDatabase(destination);
    // The data pages of the table's rows (the middle row's alone, or all), and how many
    // rows they hold.
    const SourceTable table = ReadProdotti(source);
    ASSERT_FALSE(table.rows.empty());
    std::set<uint32_t> pages;
    long on_pages = 0;
    for (const auto& row : table.rows) {
      if (every_page || row.page == table.rows[table.rows.size() / 2].page) pages.insert(row.page.value());
    }
    for (const auto& row : table.rows) on_pages += pages.count(row.page.value()) > 0;
    const std::vector<char> zeros(table.page_size, 0);
    for (uint32_t page : pages) {
      Overwrite(source, static_cast<off_t>(page) * static_cast<off_t>(table.page_size), zeros.data(), zeros.size());
    }
    if (HasFatalFailure()) return;

    FileRun run(destination, source, {u"", u"Codice", u"", u"", u"", u"", u""});
    const import::ImportResult result = run.Press();
    EXPECT_EQ(result.failed, on_pages);
    EXPECT_NE(result.first_failure.find("counts 2000 rows"), std::string::npos) << result.first_failure;
    EXPECT_EQ(run.window.MessageTexts().back(),
              every_page ? std::u16string(import::kImportNotDoneBecause) + import::RecordsNotReadText(on_pages) +
                               result.first_failure_in_italian
                         : Counted(import::kImportDoneWithErrorsStart, on_pages, import::kImportDoneWithErrorsEnd,
                                   result.first_failure_in_italian));
    EXPECT_EQ(static_cast<long>(ReadTable(destination, u"Articoli", kLocale).size()), result.added);
  }
}

// A definition that counts far more rows than the file could hold is believed only as far
// as its pages go: the run reports the records it could not read within that bound, rather
// than a line for each of a million records that never were.
TEST(Losses, ARowCountBeyondWhatTheFileHoldsIsBoundedByItsPages) {
  REQUIRE_FIXTURES();
  TempDir dir;
  const fs::path source = dir.Copy(Listini("fonte.mdb"));
  const fs::path destination = dir.path() / "listini.mdb";
  engine::jet::CreateListiniDatabase(destination);
  const SourceTable table = ReadProdotti(source);
  ASSERT_GT(table.row_count_at, 0);
  const long on_pages = static_cast<long>(table.rows.size());
  const long most_rows = static_cast<long>(table.page_count) * static_cast<long>(engine::jet::kMaxRowsPerDataPage);
  ASSERT_LT(most_rows, 1'000'000);
  const uint8_t million[4] = {0x40, 0x42, 0x0F, 0x00};  // 1,000,000, little-endian
  Overwrite(source, table.row_count_at, million, sizeof million);
  if (HasFatalFailure()) return;

  FileRun run(destination, source, {u"", u"Codice", u"", u"", u"", u"", u""});
  const import::ImportResult result = run.Press();
  EXPECT_GT(result.added, 0);
  EXPECT_GT(result.failed, 0);
  EXPECT_LE(result.failed, most_rows - on_pages);
}

// A source whose long descriptions live on pages of their own, read only as the walk
// reaches each record.
void WriteSourceWithLongTexts(const fs::path& path, int records) {
  engine::jet::TableSpec spec;
  spec.name = u"Prodotti";
  spec.columns.resize(2);
  spec.columns[0].name = u"Codice";
  spec.columns[1].name = u"Testo";
  spec.columns[1].type = engine::jet::ColumnType::Memo;
  engine::jet::CreateDatabase(path, {spec});
  auto database = engine::jet::OpenJetDatabase(path, engine::OpenMode::ReadWrite, kLocale);
  auto rows = database->OpenRecordset(u"Prodotti");
  for (int i = 0; i < records; ++i) {
    rows->AddNew();
    rows->SetValue(0, Value::Text(u"C" + engine::FromUtf8(std::to_string(i))));
    rows->SetValue(1, Value::Text(std::u16string(3000, static_cast<char16_t>(u'a' + i % 26))));
    rows->Update();
  }
  database->Commit();
}

TEST(Losses, ASourceCutShortEndsTheRunWithAChangedFileError) {
  struct Case {
    const char* name;
    float cut_at;  // the percentage at which the file is cut; below 0: before the click
  };
  const Case cases[] = {{"cut between the choice of the table and the click", -1}, {"cut halfway through the walk", 50}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const fs::path source = dir.path() / "fonte.mdb";
    const fs::path destination = dir.path() / "listini.mdb";
    WriteSourceWithLongTexts(source, 100);
    engine::jet::CreateListiniDatabase(destination);
    FileRun run(destination, source, {u"", u"Codice", u"Testo", u"", u"", u"", u""});
    const auto cut = [&] { fs::resize_file(source, fs::file_size(source) / 4); };
    if (c.cut_at < 0) cut();
    run.window.on_progress = [&, done = false](float percent) mutable {
      if (c.cut_at >= 0 && percent >= c.cut_at && !done) done = true, cut();
    };
    const fs::path report = dir.path() / "resoconto.csv";
    const import::ImportResult result = run.Press(report);
    EXPECT_NE(result.first_failure.find("cut short"), std::string::npos) << result.first_failure;
    EXPECT_EQ(static_cast<long>(ReadTable(destination, u"Articoli", kLocale).size()), result.added);
    if (c.cut_at < 0) {
      EXPECT_EQ(run.window.MessageTexts().back(),
                std::u16string(import::kImportNotDoneBecause) + result.first_failure_in_italian);
      EXPECT_EQ(result.added, 0);
    } else {
      EXPECT_TRUE(run.window.MessageTexts().back().starts_with(Counted(
          import::kImportDoneWithErrorsStart, result.failed, import::kImportDoneWithErrorsEnd,
          result.first_failure_in_italian)));
      EXPECT_GT(result.added, 0);
      EXPECT_EQ(result.added + result.failed, 100) << "the walk stops: the records left count as not imported";
      // The report's lines add up to the count, the records never read in one line of their own.
      const auto rows = PythonCsvRows(report);
      if (!rows) GTEST_SKIP() << "python3 is not installed";
      long in_lines = 0, unread_lines = 0;
      const std::string unread = engine::ToUtf8(import::ReportNotReadText(0)).substr(1);
      for (const auto& line : *rows) {
        if (line.size() != import::kReportHeader.size() || line[2] == engine::ToUtf8(import::kReportHeader[2])) continue;
        const bool summary = line[2].ends_with(unread);
        unread_lines += summary;
        in_lines += summary ? std::stol(line[2]) : line[2] == engine::ToUtf8(import::kReportNotImported);
      }
      EXPECT_EQ(unread_lines, 1);
      EXPECT_EQ(in_lines, result.failed);
    }
  }
}

// The file may not grow past `bytes` while it lives (a disk that fills up).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    saved_handler_ = std::signal(SIGXFSZ, SIG_IGN);  // the write fails instead of killing us
    const rlimit limit{bytes, saved_.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, saved_handler_);
  }

 private:
  rlimit saved_{};
  void (*saved_handler_)(int) = nullptr;
};

TEST(Losses, WhenTheDiskFillsMidRunTheCountsAreWhatTheFileHolds) {
  REQUIRE_FIXTURES();
  TempDir dir;
  const fs::path destination = dir.path() / "listini.mdb";
  engine::jet::CreateListiniDatabase(destination);
  FileRun run(destination, Listini("fonte.mdb"),
              {u"Categoria", u"Codice", u"Nome", u"Nome", u"Prezzo", u"Prezzo", u"Immagine"});
  // A commit a third of the way (as the engine makes every second on a long run), then the
  // disk fills: every commit after that fails, the final one included.
  std::optional<FileSizeLimit> full_disk;
  bool committed = false;
  run.window.on_progress = [&](float percent) {
    if (percent >= 33 && !committed) {
      committed = true;
      run.state.DataDestinazione.Database().Commit();
    }
    if (percent >= 50 && !full_disk) full_disk.emplace(fs::file_size(destination));
  };
  const import::ImportResult result = run.Press();
  full_disk.reset();

  const long in_file = static_cast<long>(ReadTable(destination, u"Articoli", kLocale).size());
  EXPECT_GT(in_file, 0) << "the commit before the disk filled kept its articles";
  EXPECT_EQ(result.added, in_file);
  EXPECT_GT(result.failed, 0);
  EXPECT_EQ(result.added + result.failed + result.already_present + result.without_code, 2000)
      << "every record of the source is accounted for once";
  EXPECT_EQ(run.window.MessageTexts().back().substr(0, import::kImportDoneWithErrorsStart.size()),
            import::kImportDoneWithErrorsStart);
}

}  // namespace
}  // namespace testsupport
