// Every way an archive can fail to open ends in its own kind of error, and the window
// explains that kind in Italian, naming the file, without the engine's English words.
#include "archives/error_messages.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <optional>

#include "archives/data_binding.h"
#include "archives/italian_texts.h"
#include "engine/base/error.h"
#include "engine/open/open_database.h"
#include "engine/value/value.h"
#include "tests/support/files.h"
#include "tests/support/fixtures.h"

namespace archives {
namespace {

namespace fs = std::filesystem;
using engine::ErrorKind;
using testsupport::Fixture;
using testsupport::TempDir;

fs::path Write(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

// A copy of `file` with `count` bytes at `offset` replaced, or cut to `offset` when `bytes`
// is empty.
fs::path Altered(const TempDir& temp, const fs::path& file, const char* name, size_t offset, std::string bytes) {
  std::string content = testsupport::ReadText(file);
  if (bytes.empty()) {
    content.resize(offset);
  } else {
    content.replace(offset, bytes.size(), bytes);
  }
  return Write(temp.path() / name, content);
}

struct Opening {
  std::u16string connect = std::u16string(kAccessConnect);
  engine::OpenMode mode = engine::OpenMode::ReadOnly;
  std::u16string table;
};

// Opens `path` as the window does; the failure, or nothing.
std::optional<engine::Error> FailureOpening(const fs::path& path, const Opening& how) {
  DataBinding binding(how.mode, engine::TextLocale::Italian());
  binding.Connect = how.connect;
  binding.DatabaseName = engine::FromUtf8(path.string());
  binding.RecordSource = how.table;
  try {
    binding.Refresh();
  } catch (const engine::Error& error) {
    return error;
  }
  return std::nullopt;
}

TEST(ErrorMessages, EachBadArchiveHasItsKindAndItsItalianReason) {
  REQUIRE_FIXTURES();
  TempDir temp;
  const Opening excel{std::u16string(kExcelConnect), engine::OpenMode::ReadOnly, {}};
  const Opening writing{std::u16string(kAccessConnect), engine::OpenMode::ReadWrite, u"Articoli"};
  struct Case {
    const char* name;
    std::function<fs::path()> file;
    Opening how;
    ErrorKind kind;
    std::u16string reason;
  };
  const std::u16string damaged = u"il file è danneggiato o non è un archivio valido";
  const std::u16string protected_archive = u"l'archivio è protetto da password o cifrato";
  const std::u16string unsupported = u"formato dell'archivio non supportato";
  std::unique_ptr<engine::Database> writer;  // holds "occupato.mdb" open for writing
  const Case cases[] = {
      {"missing", [&] { return temp.path() / "mancante.mdb"; }, {}, ErrorKind::NotFound, u"il file non esiste"},
      {"text named .mdb", [&] { return Write(temp.path() / "testo.mdb", "Codice;Prezzo\nA1;12\n"); }, {},
       ErrorKind::Damaged, damaged},
      {"empty", [&] { return Write(temp.path() / "vuoto.mdb", ""); }, {}, ErrorKind::Damaged, damaged},
      {"folder named .mdb",
       [&] {
         fs::create_directory(temp.path() / "cartella.mdb");
         return temp.path() / "cartella.mdb";
       },
       {}, ErrorKind::Damaged, damaged},
      {"cut short", [&] { return Altered(temp, Fixture("listini/listini.mdb"), "tagliato.mdb", 6000, ""); }, {},
       ErrorKind::Damaged, damaged},
      {"database password", [&] { return Fixture("jet/other/password-V2000.mdb"); }, {}, ErrorKind::Protected,
       protected_archive},
      {"Access 2007 file named .mdb",
       [&] { return Altered(temp, Fixture("listini/listini.mdb"), "nuovo.mdb", 0x14, std::string(1, '\x02')); }, {},
       ErrorKind::UnsupportedFormat, unsupported},
      {"no such table", [&] { return Fixture("listini/fonte.mdb"); }, {{}, {}, u"Nessuna"}, ErrorKind::NoSuchTable,
       u"la tabella non esiste"},
      {"written by another program",
       [&] {
         const fs::path file = temp.path() / "occupato.mdb";
         fs::copy_file(Fixture("listini/listini.mdb"), file);
         writer = engine::OpenDatabase(file, kAccessConnect, engine::OpenMode::ReadWrite, engine::TextLocale::Italian());
         return file;
       },
       writing, ErrorKind::Locked, u"il file è in uso da un altro programma"},
      {"open in Access",
       [&] {
         const fs::path file = temp.Copy(Fixture("listini/listini.mdb"));
         Write(temp.path() / "LISTINI.LDB", "");
         return file;
       },
       writing, ErrorKind::OpenInAccess,
       u"l'archivio è aperto in Microsoft Access: chiudere Access e riprovare; se Access non è aperto, eliminare "
       u"il file LISTINI.LDB"},
      {"folder at the journal's name",
       [&] {
         const fs::path file = temp.path() / "ripristino.mdb";
         fs::copy_file(Fixture("listini/listini.mdb"), file);
         fs::create_directory(temp.path() / "ripristino.mdb-journal");
         return file;
       },
       writing, ErrorKind::NotAJournal, NotAJournalReason(u"ripristino.mdb-journal")},
      {"pipe at the journal's name, opened for reading",
       [&] {
         const fs::path file = temp.path() / "tubo.mdb";
         fs::copy_file(Fixture("listini/listini.mdb"), file);
         if (::mkfifo((temp.path() / "tubo.mdb-journal").c_str(), 0600) != 0) ADD_FAILURE() << "mkfifo";
         return file;
       },
       {}, ErrorKind::NotAJournal, NotAJournalReason(u"tubo.mdb-journal")},
      {"encrypted workbook", [&] { return Fixture("xls/poi--password.xls"); }, excel, ErrorKind::Protected,
       protected_archive},
      {"encrypted workbook, default password",
       [&] { return Fixture("xls/parseexcel--pers-encrypted-def-pass-QwErTyUiOp.xls"); }, excel, ErrorKind::Protected,
       protected_archive},
      {"damaged workbook container", [&] { return Fixture("xls/libxls--xls2csv_ole_ole2_fread_327.xls"); }, excel,
       ErrorKind::Damaged, damaged},
      {"damaged workbook sectors",
       [&] { return Fixture("xls/poi--clusterfuzz-testcase-minimized-POIHSSFFu.xls"); }, excel, ErrorKind::Damaged,
       damaged},
      {"Excel 4.0 workbook", [&] { return Fixture("xls/poi--testEXCEL_4.xls"); }, excel, ErrorKind::UnsupportedFormat,
       unsupported},
      {".xlsx named .xls",
       [&] { return Write(temp.path() / "nuovo.xls", std::string("PK\x03\x04", 4) + "[Content_Types].xml"); }, excel,
       ErrorKind::UnsupportedFormat, unsupported},
      {"no such sheet", [&] { return Fixture("xls/typed.xls"); }, {std::u16string(kExcelConnect), {}, u"Nessuno"},
       ErrorKind::NoSuchTable, u"la tabella non esiste"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path path = c.file();
    const std::optional<engine::Error> error = FailureOpening(path, c.how);
    ASSERT_TRUE(error) << "opened";
    EXPECT_EQ(error->kind(), c.kind) << error->what();
    const std::u16string shown = CannotOpenArchiveMessage(engine::FromUtf8(path.string()), *error);
    EXPECT_EQ(engine::ToUtf8(shown), engine::ToUtf8(u"Impossibile aprire l'archivio " +
                                                      engine::FromUtf8(path.string()) + u": " + c.reason + u"."));
    // The engine's English words are for archivi, which prints what() with the file.
    EXPECT_EQ(shown.find(engine::FromUtf8(error->reason())), std::u16string::npos);
    EXPECT_NE(std::string(error->what()).find(path.string()), std::string::npos) << error->what();
  }
}

}  // namespace
}  // namespace archives
