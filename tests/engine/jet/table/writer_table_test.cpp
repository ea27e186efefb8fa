// Writing into real files: thousands of rows with awkward keys into copies of the price list
// and of Access-made files with indexes, then the integrity check (every index walked and
// compared with a scan), and two independent readers (mdb-reader, mdbtools) reading the
// same rows back. Also DELETE *, refusals that leave nothing behind, and the locks.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <regex>
#include <set>

#include "engine/base/error.h"
#include "engine/jet/catalog/catalog.h"
#include "tools/archivi/dump/dump_format.h"
#include "engine/jet/create/database_creator.h"
#include "engine/jet/create/table_creator.h"
#include "engine/jet/catalog/table_definition_reader.h"
#include "engine/jet/table/table_writer.h"
#include "engine/jet/row/text_codec.h"
#include "engine/jet/page/data_page.h"
#include "engine/jet/page/usage_map_writer.h"
#include "tests/engine/jet/jet_test_util.h"
#include "tests/support/files.h"
#include "tests/support/jet_check.h"
#include "tests/support/test_page_store.h"

namespace fs = std::filesystem;
using engine::Error;
using engine::Value;
using namespace testsupport;

namespace {


void AddArticle(engine::Recordset& records, int i) {
  records.AddNew();
  records.SetValue(u"Codice Articolo", Value::Text(AwkwardText(i, 50)));
  records.SetValue(u"Descrizione", Value::Text(u"Articolo " + AwkwardText(i + 3, 30)));
  records.SetValue(u"Descrizione Catalogo", i % 3 ? Value::Text(AwkwardText(i * 3, 50)) : Value::Null());
  records.SetValue(u"Prezzo", Value::Text(std::u16string(u"1") + (i % 2 ? u"2,34565" : u"0")));
  records.SetValue(u"Prezzo 2", Value::Double(i * 0.1));
  records.SetValue(u"Categoria", Value::Text(AwkwardText(i % 37, 50)));
  records.SetValue(u"Data Inserimento", Value::Text(u"21/09/1974 10:30:00"));
  if (i % 4 == 0) records.SetValue(u"Immagine", Value::Text(u"\\\\server\\foto\\" + std::u16string(200, u'p')));
  records.Update();
}

std::string OurDump(const fs::path& file, const std::u16string& table) {
  auto database = OpenForReading(file);
  auto records = database->OpenRecordset(table);
  return engine::DumpRecordset(*records);
}

// mdb-reader places times of days before Jet's day zero (1899-12-30) differently; such dates
// are masked in both dumps before comparing.
std::string MaskDatesBeforeDayZero(const std::string& dump) {
  static const std::regex old_date(
      "\\b((0\\d\\d\\d|1[0-7]\\d\\d|18[0-8]\\d|189[0-8])-\\d\\d-\\d\\d|1899-(0\\d|1[01])-\\d\\d|1899-12-[0-2]\\d)"
      "T[0-9:.]+");
  return std::regex_replace(dump, old_date, "(before 1899-12-30)");
}

void ExpectOtherReadersAgree(const fs::path& file, const std::string& table) {
  const std::string ours = OurDump(file, engine::FromUtf8(table));
  if (auto theirs = testsupport::MdbReaderDump(file, table)) {
    EXPECT_EQ(MaskDatesBeforeDayZero(*theirs), MaskDatesBeforeDayZero(ours)) << "mdb-reader reads " << table << " differently";
  } else if (testsupport::RunningInCi()) {
    ADD_FAILURE() << "mdb-reader is not installed";
  } else {
    std::printf("mdb-reader not installed: comparison skipped\n");
  }
  int status = 0;
  // Rows end with a marker of their own: memo values may hold line breaks.
  const std::string exported = testsupport::RunCommand(
      "mdb-export -H -R '@@ROW@@' '" + file.string() + "' '" + table + "' | grep -o '@@ROW@@' | wc -l", &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(std::stol(exported), static_cast<long>(std::count(ours.begin(), ours.end(), '\n')) - 1)
      << "mdb-export finds another number of rows";
  const std::string counted = testsupport::RunCommand("mdb-count '" + file.string() + "' '" + table + "'", &status);
  EXPECT_EQ(std::stol(counted), static_cast<long>(std::count(ours.begin(), ours.end(), '\n')) - 1);
}

}  // namespace

TEST(WriterTable, ThousandsOfAwkwardArticlesIntoTheFullPriceList) {
  REQUIRE_FIXTURES();
  TempDir dir;
  const fs::path file = dir.Copy(Listini("listini-pieno.mdb"));
  {
    auto database = OpenForWriting(file);
    auto records = database->OpenRecordset(u"Articoli");
    for (int i = 0; i < 3000; ++i) AddArticle(*records, i);
    database->Commit();
    // Every new code is found through the index by a WHERE lookup, case and trailing
    // spaces ignored as Jet does.
    for (int i = 0; i < 3000; i += 97) {
      std::u16string code = AwkwardText(i, 50);
      std::u16string literal;
      for (char16_t c : code) literal += c == u'\'' ? std::u16string(u"''") : std::u16string(1, c);
      auto found = database->OpenRecordset(u"Select * From Articoli where [Codice Articolo]='" + literal + u"'");
      ASSERT_GT(found->RecordCount(), 0) << engine::ToUtf8(code);
    }
  }
  EXPECT_EQ(CheckProblems(file), "");
  auto database = OpenForReading(file);
  EXPECT_EQ(CountRows(*database, u"Articoli"), 8000);
  auto last = database->OpenRecordset(u"Articoli");
  last->MoveLast();
  EXPECT_EQ(last->GetValue(u"IdArticolo"), Value::Integer(8000));  // autonumber went on from 5000
  EXPECT_EQ(last->GetValue(u"Prezzo"), Value::Money({123456}));     // "12,34565" rounded half to even
  EXPECT_EQ(last->GetValue(u"Codice Articolo"), Value::Text(AwkwardText(2999, 50)));
  ExpectOtherReadersAgree(file, "Articoli");
}

TEST(WriterTable, DeleteAllThenAddAgain) {
  REQUIRE_FIXTURES();
  TempDir dir;
  const fs::path file = dir.Copy(Listini("listini-pieno.mdb"));
  {
    auto database = OpenForWriting(file);
    database->Execute(u"DELETE * From Articoli;");
    EXPECT_EQ(CountRows(*database, u"Articoli"), 0);
    EXPECT_EQ(database->OpenRecordset(u"Select * From Articoli where [Codice Articolo]='ART-000777'")->RecordCount(), 0);
  }
  EXPECT_EQ(CheckProblems(file), "");
  EXPECT_EQ(std::stol(testsupport::RunCommand("mdb-export -H '" + file.string() + "' Articoli | wc -l")), 0);
  {
    auto database = OpenForWriting(file);
    auto records = database->OpenRecordset(u"Articoli");
    for (int i = 0; i < 1500; ++i) AddArticle(*records, i);
  }  // closing commits
  EXPECT_EQ(CheckProblems(file), "");
  auto database = OpenForReading(file);
  auto records = database->OpenRecordset(u"Articoli");
  std::set<int64_t> ids;
  for (records->MoveFirst(); !records->Eof(); records->MoveNext()) ids.insert(records->GetValue(u"IdArticolo").integer());
  ASSERT_EQ(ids.size(), 1500u);
  EXPECT_EQ(*ids.begin(), 5001);  // the counter is kept
  EXPECT_EQ(*ids.rbegin(), 6500);
  ExpectOtherReadersAgree(file, "Articoli");
}

TEST(WriterTable, RefusedValuesLeaveNothingBehind) {
  REQUIRE_FIXTURES();
  TempDir dir;
  const fs::path file = dir.Copy(Listini("listini.mdb"));
  auto database = OpenForWriting(file);
  auto records = database->OpenRecordset(u"Articoli");
  AddArticle(*records, 1);
  auto refused = [&](const std::function<void()>& write) -> std::string {
    try {
      write();
    } catch (const Error& error) {
      return error.what();
    }
    return "";
  };
  records->AddNew();
  EXPECT_NE(refused([&] { records->SetValue(u"Codice Articolo", Value::Text(std::u16string(51, u'x'))); }).find("at most 50"),
            std::string::npos);
  EXPECT_NE(refused([&] { records->SetValue(u"Prezzo", Value::Text(u"dodici euro")); }).find("Prezzo"), std::string::npos);
  EXPECT_NE(refused([&] { records->SetValue(u"Data Inserimento", Value::Text(u"32/13/2020")); }).find("date"),
            std::string::npos);
  // A duplicate primary key and a Null primary key fail on Update.
  records->SetValue(u"IdArticolo", Value::Integer(1));
  EXPECT_NE(refused([&] { records->Update(); }).find("already"), std::string::npos);
  database->Commit();
  EXPECT_EQ(CountRows(*database, u"Articoli"), 1);
  EXPECT_EQ(CheckProblems(file), "");
  // An explicit id above the counter moves it on.
  records->AddNew();
  records->SetValue(u"IdArticolo", Value::Text(u"41"));
  records->Update();
  AddArticle(*records, 2);
  database->Commit();
  auto all = database->OpenRecordset(u"Articoli");
  all->MoveLast();
  EXPECT_EQ(all->GetValue(u"IdArticolo"), Value::Integer(42));
  EXPECT_EQ(CheckProblems(file), "");
}

TEST(WriterTable, AccessFilesWithIndexesOfEveryKind) {
  REQUIRE_FIXTURES();
  TempDir dir;
  const fs::path corpus = testsupport::FixturesDir() / "jet" / "V2000";
  for (const char* name : {"indexTestV2000.mdb", "testIndexPropertiesV2000.mdb", "compIndexTestV2000.mdb",
                           "bigIndexTestV2000.mdb"}) {
    SCOPED_TRACE(name);
    const fs::path file = dir.Copy(corpus / name);
    std::vector<std::pair<std::u16string, int>> written;  // table, rows added
    {
      auto database = OpenForWriting(file);
      for (const engine::TableInfo& info : database->TableDefs()) {
        if (info.is_system) continue;
        auto records = database->OpenRecordset(info.name);
        const long before = CountRows(*database, info.name);
        int added = 0;
        for (int i = 0; i < 400; ++i) {
          // A column whose value names a row its related table lacks (indexTestV2000's
          // Table1) is refused as Jet refuses it; the row is tried again with Null there.
          std::set<std::u16string> nulls;
          for (bool again = true; again;) {
            again = false;
            records->AddNew();
            for (int c = 0; c < records->FieldCount(); ++c) {
              // Every column gets a text: the engine converts it to the column's type, or refuses.
              const std::u16string text = i % 11 == 3 ? u"" : (c % 2 ? AwkwardText(i + c, 40) : engine::FromUtf8(std::to_string((i * 31 + c) % 20000 - 100)));
              if (nulls.count(records->FieldName(c))) {
                records->SetValue(c, Value::Null());  // not its default, which names no row either
                continue;
              }
              try {
                records->SetValue(c, Value::Text(text));
              } catch (const Error&) {
                try {
                  records->SetValue(c, Value::Integer(i % 100));
                } catch (const Error&) {
                }
              }
            }
            try {
              records->Update();
              ++added;
            } catch (const Error& error) {
              if (error.reason().find("non è nella tabella") != std::string::npos &&
                  nulls.insert(engine::FromUtf8(error.column())).second) {
                again = true;
                continue;
              }
              // Unique and required indexes refuse some generated rows, and so do the columns'
              // own rules (empty texts where AllowZeroLength is No); others must be stored.
              const std::string what = error.what();
              EXPECT_TRUE(what.find("already") != std::string::npos || what.find("needs a value") != std::string::npos ||
                          error.kind() == engine::ErrorKind::RuleViolation)
                  << what;
            }
          }
        }
        EXPECT_GT(added, 100) << engine::ToUtf8(info.name);
        written.emplace_back(info.name, static_cast<int>(before) + added);
      }
    }
    EXPECT_EQ(CheckProblems(file), "");
    auto database = OpenForReading(file);
    for (const auto& [table, rows] : written) {
      EXPECT_EQ(CountRows(*database, table), rows) << engine::ToUtf8(table);
      ExpectOtherReadersAgree(file, engine::ToUtf8(table));
    }
  }
}

// Indexes on decimal columns, ascending and descending, through two thousand rows with
// negatives, zeros, Nulls and the column's extremes: the check walks every index against
// the rows, and mdb-reader reads the same numbers. A value beyond the precision is refused.
TEST(WriterTable, DecimalIndexesStayInOrder) {
  TempDir dir;
  const fs::path file = dir.path() / "decimali.mdb";
  engine::jet::TableSpec spec{u"Misure", {}, {}};
  engine::jet::ColumnSpec code{u"Codice", engine::jet::ColumnType::Text, 20};
  engine::jet::ColumnSpec amount{u"Importo", engine::jet::ColumnType::Numeric};
  amount.precision = 12, amount.scale = 4;
  engine::jet::ColumnSpec share{u"Quota", engine::jet::ColumnType::Numeric};
  share.precision = 5, share.scale = 2;
  spec.columns = {code, amount, share};
  spec.indexes = {{u"Importo", {{u"Importo", true}}}, {u"Quota", {{u"Quota", false}}}};
  engine::jet::CreateDatabase(file, {spec});
  {
    auto database = OpenForWriting(file);
    auto records = database->OpenRecordset(u"Misure");
    for (int i = 0; i < 2000; ++i) {
      records->AddNew();
      records->SetValue(u"Codice", Value::Text(engine::FromUtf8(std::to_string(i))));
      const long long spread = (i * 7919LL) % 20011 - 10005;  // negatives and positives, shuffled
      if (i % 97 == 0) {
        records->SetValue(u"Importo", Value::Text(i % 2 ? u"-99.999.999,9999" : u"99.999.999,9999"));
      } else if (i % 13 != 0) {
        records->SetValue(u"Importo", Value::Text(engine::FromUtf8(std::to_string(spread * 7919) + "," +
                                                                   std::to_string(i % 10000))));
      }
      if (i % 11 != 0) records->SetValue(u"Quota", Value::Double(static_cast<double>(spread) / 101));
      if (i % 400 == 0) records->SetValue(u"Quota", Value::Integer(i % 800 ? -999 : 0));
      records->Update();
    }
    records->AddNew();
    try {
      records->SetValue(u"Importo", Value::Text(u"100.000.000"));  // 9 digits before the point, 8 allowed
      ADD_FAILURE() << "a value beyond the precision was taken";
    } catch (const Error& error) {
      EXPECT_EQ(error.kind(), engine::ErrorKind::InvalidValue);
      EXPECT_NE(std::string(error.what()).find("\"Importo\""), std::string::npos) << error.what();
    }
  }
  EXPECT_EQ(CheckProblems(file), "");
  auto database = OpenForReading(file);
  EXPECT_EQ(CountRows(*database, u"Misure"), 2000);
  ExpectOtherReadersAgree(file, "Misure");
}

// Runs `body` in a child process that has a small file system of its own (tmpfs, `kilobytes`
// large) on `folder`, in a private mount namespace that nothing outside sees; read-only once
// `body`'s file is in place when `read_only`. False when this system lets no test mount one.
bool InChildWithSmallFileSystem(const fs::path& folder, size_t kilobytes, bool read_only,
                                const std::function<void()>& prepare, const std::function<void()>& body) {
  const pid_t child = fork();
  if (child == 0) {
    const std::string size = "size=" + std::to_string(kilobytes) + "k";
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", folder.c_str(), "tmpfs", 0, size.c_str()) != 0) {
      _exit(77);
    }
    prepare();
    if (read_only && mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) _exit(77);
    body();
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return !(WIFEXITED(status) && WEXITSTATUS(status) == 77);
}

// A full disk and a read-only file system are each told as such, and the price list stays
// as it was.
TEST(WriterTable, AFullDiskAndAReadOnlyFileSystemAreToldApart) {
  REQUIRE_FIXTURES();
  struct Case {
    const char* name;
    size_t kilobytes;
    bool read_only;
    engine::ErrorKind kind;
    const char* reason;
  };
  const Case cases[] = {
      {"full disk", 160, false, engine::ErrorKind::DiskFull, "the disk is full"},
      {"read-only file system", 1024, true, engine::ErrorKind::ReadOnlyFileSystem, "file system is read-only"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const fs::path small = dir.path() / "piccolo";
    fs::create_directory(small);
    const fs::path outcome = dir.path() / "esito.txt";
    const bool mounted = InChildWithSmallFileSystem(
        small, c.kilobytes, c.read_only, [&] { fs::copy_file(Listini("listini.mdb"), small / "listini.mdb"); },
        [&] {
          std::ofstream out(outcome);
          try {
            auto database = OpenForWriting(small / "listini.mdb");
            auto records = database->OpenRecordset(u"Articoli");
            for (int i = 0; i < 500; ++i) AddArticle(*records, i);
            database->Commit();
            out << "no error\n";
          } catch (const Error& error) {
            out << static_cast<int>(error.kind()) << "\n" << error.reason() << "\n";
          }
          out << CountRows(*OpenForReading(small / "listini.mdb"), u"Articoli") << "\n";
        });
    if (!mounted) GTEST_SKIP() << "this system lets no test mount a small file system";
    std::ifstream in(outcome);
    std::string kind, reason, rows;
    std::getline(in, kind);
    std::getline(in, reason);
    std::getline(in, rows);
    EXPECT_EQ(kind, std::to_string(static_cast<int>(c.kind))) << reason;
    EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    EXPECT_EQ(rows, "0") << "the price list changed";
  }
}

TEST(WriterTable, SecondWriterAndAccessLockFileAreRefused) {
  REQUIRE_FIXTURES();
  TempDir dir;
  const fs::path file = dir.Copy(Listini("listini.mdb"));
  {
    auto first = OpenForWriting(file);
    try {
      OpenForWriting(file);
      ADD_FAILURE() << "a second writer was let in";
    } catch (const Error& error) {
      EXPECT_EQ(error.kind(), engine::ErrorKind::Locked);
      EXPECT_NE(std::string(error.what()).find("another program"), std::string::npos) << error.what();
    }
    EXPECT_NO_THROW(OpenForReading(file));  // readers are not kept out
  }
  // Access's lock file counts in any letter case, as it would on a Windows share; another
  // database's does not.
  const std::pair<const char*, bool> locks[] = {
      {"listini.ldb", true}, {"LISTINI.LDB", true}, {"Listini.ldb", true}, {"fonte.ldb", false}};
  for (const auto& [name, refused] : locks) {
    SCOPED_TRACE(name);
    std::ofstream(dir.path() / name) << "x";
    try {
      OpenForWriting(file);
      EXPECT_FALSE(refused) << "opened although Access has it open";
    } catch (const Error& error) {
      EXPECT_TRUE(refused) << error.what();
      EXPECT_EQ(error.kind(), engine::ErrorKind::OpenInAccess);
      EXPECT_EQ(error.other_file(), (dir.path() / name).string());
      EXPECT_NE(std::string(error.what()).find(name), std::string::npos) << error.what();
    }
    fs::remove(dir.path() / name);
  }
}

TEST(WriterTable, UnknownSortOrderMakesTheTableReadOnly) {
  REQUIRE_FIXTURES();
  TempDir dir;
  const fs::path file = dir.Copy(Listini("listini.mdb"));
  auto pager = engine::jet::Pager::Open(file, engine::OpenMode::ReadWrite);
  engine::jet::TextDecoder text(pager->format().version, pager->header().code_page, pager->file_name());
  engine::jet::TableDefinition table;
  for (const auto& entry : engine::jet::ReadCatalog(*pager, text)) {
    if (entry.name == u"Articoli") table = engine::jet::ReadTableDefinition(*pager, text, entry.tdef_page, entry.name);
  }
  ASSERT_FALSE(table.columns.empty());
  {
    engine::jet::TableWriter writer(*pager, table, engine::TextLocale::Italian(), file.string());
    EXPECT_FALSE(writer.ReadOnlyReason());
  }
  for (auto& column : table.columns) {
    if (column.name == u"Categoria") column.sort_version = 1;  // Access 2010's "General"
  }
  engine::jet::TableWriter writer(*pager, table, engine::TextLocale::Italian(), file.string());
  ASSERT_TRUE(writer.ReadOnlyReason());
  EXPECT_NE(writer.ReadOnlyReason()->find("Categoria"), std::string::npos);
  EXPECT_THROW(writer.AddRow({Value::Null(), Value::Text(u"A")}), Error);
  EXPECT_THROW(writer.DeleteAll(), Error);
  EXPECT_FALSE(pager->has_uncommitted_changes());
}

TEST(WriterTable, MemoValuesInlineOnOnePageAndChainedThenFreed) {
  REQUIRE_FIXTURES();
  TempDir dir;
  const fs::path file = dir.Copy(Listini("fonte.mdb"));
  auto memo = [](int i) -> std::u16string {
    switch (i % 5) {
      case 0: return u"foto" + engine::FromUtf8(std::to_string(i)) + u".jpg";          // inline
      case 1: return std::u16string(900, static_cast<char16_t>(u'a' + i % 26));       // one LVAL row
      case 2: return std::u16string(2600, u'λ');                                      // UCS-2, one LVAL row
      case 3: return std::u16string(7000 + i, static_cast<char16_t>(u'0' + i % 10));  // a chain of rows
      default: return u"";
    }
  };
  {
    auto database = OpenForWriting(file);
    auto records = database->OpenRecordset(u"Prodotti");
    for (int i = 0; i < 300; ++i) {
      records->AddNew();
      records->SetValue(u"Codice", Value::Text(AwkwardText(i, 40)));
      records->SetValue(u"Immagine", Value::Text(memo(i)));
      records->SetValue(u"Attivo", Value::Text(i % 2 ? u"Vero" : u"Falso"));
      records->SetValue(u"Prezzo", Value::Text(u"0,30000000000000004"));
      records->Update();
    }
    auto suppliers = database->OpenRecordset(u"Fornitori");
    for (int i = 0; i < 50; ++i) {
      suppliers->AddNew();
      suppliers->SetValue(u"Ragione Sociale", Value::Text(u"Fornitore " + AwkwardText(i, 30)));
      suppliers->Update();  // Partita IVA stays Null: its unique index ignores Nulls
    }
  }
  EXPECT_EQ(CheckProblems(file), "");
  {
    auto database = OpenForReading(file);
    auto records = database->OpenRecordset(u"Select * From Prodotti where [Codice]='" + AwkwardText(3, 40) + u"'");
    ASSERT_GT(records->RecordCount(), 0);
    bool seen = false;
    for (; !records->Eof(); records->MoveNext()) seen = seen || records->GetValue(u"Immagine") == Value::Text(memo(3));
    EXPECT_TRUE(seen) << "the chained memo does not read back";
  }
  ExpectOtherReadersAgree(file, "Prodotti");
  ExpectOtherReadersAgree(file, "Fornitori");
  {
    auto database = OpenForWriting(file);
    database->Execute(u"delete from Prodotti");
    EXPECT_EQ(CountRows(*database, u"Prodotti"), 0);
  }
  EXPECT_EQ(CheckProblems(file), "");
  ExpectOtherReadersAgree(file, "Prodotti");
}

// A long-value map that lists a page of the table's rows is damage: "DELETE *" refuses it
// before anything is written, rather than go by a map that claims another owner's page, and
// the check names it.
TEST(WriterTable, PurgeRefusesALongValueMapThatListsAPageOfRows) {
  REQUIRE_FIXTURES();
  using namespace engine::jet;
  TempDir dir;
  TestPageStore store = TestPageStore::FromFile(Listini("fonte.mdb"));
  const TextDecoder text(store.format().version, store.header().code_page, "memory");
  TableDefinition table;
  for (const CatalogEntry& entry : ReadCatalog(store, text)) {
    if (entry.name == u"Prodotti") table = ReadTableDefinition(store, text, entry.tdef_page, entry.name);
  }
  const auto mapped = std::find_if(table.columns.begin(), table.columns.end(), [](const ColumnDefinition& column) {
    return column.is_long_value() && !column.lval_owned_map.page.is_none();
  });
  ASSERT_NE(mapped, table.columns.end()) << "no long-value column with maps of its own";
  PageNumber rows_page;
  for (PageNumber page : UsageMapEditor(store, table.owned_pages).Pages()) {
    if (DataPage(store.ReadPage(page), store.format()).owned_by(table.tdef_page)) rows_page = page;
  }
  ASSERT_FALSE(rows_page.is_none());
  PageAllocator allocator(store);
  UsageMapEditor(store, mapped->lval_owned_map, [&] { return allocator.Allocate(); }).Add(rows_page);
  const fs::path file = dir.path() / "fonte.mdb";
  WriteBytes(file, store.Bytes());
  try {
    OpenForWriting(file)->Execute(u"DELETE * From Prodotti;");
    ADD_FAILURE() << "emptied by a damaged long-value map";
  } catch (const Error& error) {
    EXPECT_EQ(error.kind(), engine::ErrorKind::Damaged) << error.what();
    EXPECT_NE(error.reason().find("page " + std::to_string(rows_page.value())), std::string::npos) << error.what();
  }
  EXPECT_EQ(ReadBytes(file), store.Bytes());
  EXPECT_NE(CheckProblems(file).find("page " + std::to_string(rows_page.value()) + " of table \"Prodotti\""),
            std::string::npos)
      << "the check does not say what the purge refused";
}

TEST(WriterTable, RepeatedPurgeAndImportReusesPagesInsteadOfGrowingTheFile) {
  REQUIRE_FIXTURES();
  TempDir dir;
  const fs::path file = dir.Copy(Listini("listini-pieno.mdb"));
  std::vector<uintmax_t> sizes;
  for (int cycle = 0; cycle < 3; ++cycle) {
    {
      auto database = OpenForWriting(file);
      database->Execute(u"DELETE * From Articoli;");
      auto records = database->OpenRecordset(u"Articoli");
      for (int i = 0; i < 2000; ++i) AddArticle(*records, i + cycle);
    }
    ASSERT_EQ(CheckProblems(file), "") << "cycle " << cycle;
    sizes.push_back(fs::file_size(file));
  }
  EXPECT_EQ(sizes[1], sizes[0]);
  EXPECT_EQ(sizes[2], sizes[0]);
  auto database = OpenForReading(file);
  EXPECT_EQ(CountRows(*database, u"Articoli"), 2000);
}

// Access 97 files: awkward texts (stored in the file's code page, 1252: what it lacks becomes
// its best fit or "?") and rows past 256 bytes (the jump bytes) into a table without indexes,
// emptied and filled again; memos inline, on one LVAL row and chained, in a table whose second
// column is made a memo column (type byte set in the copy, after its rows are deleted). A
// table with indexes is refused whole, until Jet 3 index pages are written.
TEST(WriterTable, Access97TablesWithoutIndexes) {
  REQUIRE_FIXTURES();
  TempDir dir;
  const fs::path corpus = testsupport::FixturesDir() / "jet" / "V1997";
  const fs::path texts = dir.Copy(corpus / "overflowTestV1997.mdb");
  const std::vector<std::u16string> columns = {u"data1", u"data3", u"data4", u"data5", u"data6",
                                                u"data7", u"data8", u"data9", u"data10"};
  for (int round = 0; round < 2; ++round) {
    {
      auto database = OpenForWriting(texts);
      if (round == 1) database->Execute(u"DELETE * From Table1;");
      auto records = database->OpenRecordset(u"Table1");
      for (int i = 0; i < 400; ++i) {
        records->AddNew();
        for (size_t c = 0; c < columns.size(); ++c) {
          if ((i + c) % 4 != 3) records->SetValue(columns[c], Value::Text(AwkwardText(i * 9 + int(c), 50)));
        }
        records->SetValue(u"data10", Value::Text(u"œuvre ß € «ő» α"));
        EXPECT_EQ(records->GetValue(u"data10"), Value::Text(u"œuvre ß € «o» ?"));  // as the file will hold it
        records->Update();
      }
    }
    EXPECT_EQ(CheckProblems(texts), "") << "round " << round;
    ExpectOtherReadersAgree(texts, "Table1");
    EXPECT_EQ(CountRows(*OpenForReading(texts), u"Table1"), round == 0 ? 407 : 400);
    // A literal is looked up as it would be stored, as Jet 3 reads every text it is given.
    EXPECT_EQ(CountRows(*OpenForReading(texts), u"Select * From Table1 where [data10]='œuvre ß € «ő» β'"), 400);
  }

  const fs::path memos = dir.Copy(corpus / "delTestV1997.mdb");
  OpenForWriting(memos)->Execute(u"DELETE * From [Table];");
  {
    auto pager = engine::jet::Pager::Open(memos, engine::OpenMode::ReadOnly);
    engine::jet::TextDecoder text(pager->format().version, pager->header().code_page, pager->file_name());
    for (const auto& entry : engine::jet::ReadCatalog(*pager, text)) {
      if (entry.name != u"Table") continue;
      const auto table = engine::jet::ReadTableDefinition(*pager, text, entry.tdef_page, entry.name);
      const auto& f = pager->format();
      size_t b = 0;
      while (table.columns.at(b).name != u"b") ++b;
      const size_t descriptor = f.tdef_first_block + table.real_indexes.size() * f.real_index_count_entry +
                                f.column_descriptor_size * b + f.col_type;
      std::vector<uint8_t> bytes = ReadBytes(memos);
      bytes[entry.tdef_page.value() * f.page_size + descriptor] = static_cast<uint8_t>(engine::jet::ColumnType::Memo);
      pager.reset();
      WriteBytes(memos, bytes);
      break;
    }
  }
  auto memo = [](int i) -> std::u16string {
    switch (i % 4) {
      case 0: return u"Caffè " + engine::FromUtf8(std::to_string(i));           // inline
      case 1: return std::u16string(1500, static_cast<char16_t>(u'a' + i % 26));  // one LVAL row
      case 2: return std::u16string(5000 + i, u'è');                            // a chain of rows
      default: return u"";
    }
  };
  for (int round = 0; round < 2; ++round) {
    {
      auto database = OpenForWriting(memos);
      if (round == 1) database->Execute(u"DELETE * From [Table];");
      auto records = database->OpenRecordset(u"Table");
      for (int i = 0; i < 60; ++i) {
        records->AddNew();
        records->SetValue(u"a", Value::Text(AwkwardText(i, 50)));
        records->SetValue(u"b", Value::Text(memo(i)));
        records->Update();
      }
    }
    EXPECT_EQ(CheckProblems(memos), "") << "round " << round;
    ExpectOtherReadersAgree(memos, "Table");
  }

  // A table with indexes is emptied as well, its index trees with it.
  const fs::path indexed = dir.Copy(corpus / "testV1997.mdb");
  OpenForWriting(indexed)->Execute(u"DELETE * From Table1;");
  EXPECT_EQ(CheckProblems(indexed), "");
  EXPECT_EQ(CountRows(*OpenForReading(indexed), u"Table1"), 0);
}
