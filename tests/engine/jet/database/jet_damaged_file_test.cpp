// Bad input: files that are not Jet databases, locked by a password, in the newer format,
// cut short or with damaged pages. Each gives an engine::Error naming the file, never a
// crash, a hang or a huge allocation.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "engine/base/bytes.h"
#include "engine/base/error.h"
#include "engine/jet/format/byte_reader.h"
#include "engine/jet/catalog/catalog.h"
#include "engine/jet/page/data_page.h"
#include "engine/jet/page/long_value.h"
#include "engine/jet/storage/header_page.h"
#include "engine/jet/storage/pager.h"
#include "engine/jet/catalog/table_definition_reader.h"
#include "tests/engine/jet/jet_test_util.h"
#include "tests/support/files.h"

namespace {

using engine::jet::OpenJetDatabaseFromBytes;

constexpr size_t kPage4 = 4096;

// Opens and reads everything; returns the error's text, or "" when all went well.
std::string ReadEverything(std::vector<uint8_t> bytes, const std::string& name = "damaged.mdb") {
  try {
    auto database = OpenJetDatabaseFromBytes(std::move(bytes), name, engine::TextLocale::English());
    for (const auto& table : database->TableDefs()) {
      auto records = database->OpenRecordset(table.name);
      if (records->RecordCount() == 0) continue;
      for (records->MoveFirst(); !records->Eof(); records->MoveNext()) {
        for (int i = 0; i < records->FieldCount(); ++i) records->GetValue(i);
      }
    }
  } catch (const engine::Error& error) {
    EXPECT_EQ(error.file(), name);
    return error.reason();
  }
  return "";
}

void PutU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

// TDEF page of a table of a fixture, found through the catalogue.
engine::jet::PageNumber TdefPage(const std::vector<uint8_t>& bytes, const std::u16string& table) {
  auto pager = engine::jet::Pager::FromBytes(bytes, "copy");
  engine::jet::TextDecoder text(pager->format().version, pager->header().code_page, "copy");
  for (const auto& entry : engine::jet::ReadCatalog(*pager, text)) {
    if (entry.name == table) return entry.tdef_page;
  }
  ADD_FAILURE() << "no table";
  return engine::jet::kNoPage;
}

class DamagedFiles : public testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_FIXTURES();
    full_ = testsupport::ReadBytes(testsupport::Fixture("listini/listini-pieno.mdb"));
  }
  std::vector<uint8_t> full_;
};

TEST_F(DamagedFiles, IntactCopyReadsWithoutError) { EXPECT_EQ(ReadEverything(full_), ""); }

TEST_F(DamagedFiles, MissingEmptyAndForeignFilesAreRefused) {
  testsupport::TempDir dir;
  const auto open = [](const std::filesystem::path& path) -> std::string {
    try {
      engine::jet::OpenJetDatabase(path, engine::OpenMode::ReadOnly, engine::TextLocale::English());
    } catch (const engine::Error& error) {
      EXPECT_EQ(error.file(), path.string());
      return error.reason();
    }
    return "";
  };
  EXPECT_NE(open(dir.path() / "missing.mdb").find("does not exist"), std::string::npos);
  testsupport::WriteBytes(dir.path() / "empty.mdb", {});
  EXPECT_NE(open(dir.path() / "empty.mdb").find("empty"), std::string::npos);
  std::vector<uint8_t> text(8192, 'x');
  testsupport::WriteBytes(dir.path() / "text.mdb", text);
  EXPECT_NE(open(dir.path() / "text.mdb").find("not an Access database"), std::string::npos);
  testsupport::WriteBytes(dir.path() / "short.mdb", std::vector<uint8_t>(full_.begin(), full_.begin() + 100));
  EXPECT_NE(open(dir.path() / "short.mdb").find("too short"), std::string::npos);
}

TEST_F(DamagedFiles, PasswordDatabaseIsRefusedSayingSo) {
  const auto path = testsupport::Fixture("jet/other/password-V2000.mdb");
  try {
    engine::jet::OpenJetDatabase(path, engine::OpenMode::ReadOnly, engine::TextLocale::English());
    FAIL() << "opened a database with a password";
  } catch (const engine::Error& error) {
    EXPECT_EQ(error.file(), path.string());
    EXPECT_NE(error.reason().find("password"), std::string::npos);
  }
  // Databases without a password, of both versions, are not mistaken for protected ones.
  for (const char* file : {"jet/other/creation-date-V2000.mdb", "jet/V1997/testV1997.mdb", "jet/V2000/testV2000.mdb"}) {
    EXPECT_NO_THROW(testsupport::OpenFixture(file)) << file;
  }
}

TEST_F(DamagedFiles, NewerAccessFormatIsRefusedSayingSo) {
  auto accdb = full_;
  accdb[0x14] = 0x02;
  EXPECT_NE(ReadEverything(accdb).find("accdb"), std::string::npos);
  std::memcpy(accdb.data() + 4, "Standard ACE DB", 15);
  accdb[0x14] = 0x03;
  EXPECT_NE(ReadEverything(accdb).find("accdb"), std::string::npos);
}

TEST_F(DamagedFiles, TruncatedCopiesGiveErrors) {
  testsupport::TempDir dir;
  // Cut at several places; the catalogue or the table's pages go missing.
  for (size_t pages : {3u, 10u, 40u, 200u}) {
    std::vector<uint8_t> cut(full_.begin(), full_.begin() + pages * kPage4);
    const auto path = dir.path() / ("cut" + std::to_string(pages) + ".mdb");
    testsupport::WriteBytes(path, cut);
    try {
      auto database = engine::jet::OpenJetDatabase(path, engine::OpenMode::ReadOnly, engine::TextLocale::English());
      auto records = database->OpenRecordset(u"Articoli");
      for (records->MoveFirst(); !records->Eof(); records->MoveNext()) records->GetValue(8);
      ADD_FAILURE() << "read a file cut at page " << pages;
    } catch (const engine::Error& error) {
      EXPECT_EQ(error.file(), path.string());
      EXPECT_FALSE(error.reason().empty());
    }
  }
}

TEST_F(DamagedFiles, LoopsAndAbsurdPointersInTheTableDefinition) {
  const uint32_t tdef = TdefPage(full_, u"Articoli").value();  // for byte surgery on the file
  ASSERT_GT(tdef, 2u);

  auto loop = full_;
  PutU32(loop, tdef * kPage4 + 4, tdef);  // the definition continues on itself
  EXPECT_NE(ReadEverything(loop).find("loop"), std::string::npos);

  auto far = full_;
  PutU32(far, tdef * kPage4 + 55, 0xFFFFFF00);  // owned-pages map on a page far past the end
  EXPECT_NE(ReadEverything(far).find("past the end"), std::string::npos);

  auto counts = full_;
  PutU32(counts, tdef * kPage4 + 51, 0x7FFFFFFF);  // two billion indexes
  EXPECT_NE(ReadEverything(counts).find("impossible"), std::string::npos);

  auto not_tdef = full_;
  not_tdef[tdef * kPage4] = 0x01;
  EXPECT_NE(ReadEverything(not_tdef).find("table definition"), std::string::npos);
}

TEST_F(DamagedFiles, RowsWithImpossibleBounds) {
  // The first data page of Articoli: find a page of type 1 owned by its TDEF.
  const uint32_t tdef = TdefPage(full_, u"Articoli").value();  // for byte surgery on the file
  size_t data_page = 0;
  for (size_t p = 3; p * kPage4 < full_.size(); ++p) {
    const uint8_t* page = full_.data() + p * kPage4;
    if (page[0] == 0x01 && engine::GetU32(page + 4) == tdef) {
      data_page = p;
      break;
    }
  }
  ASSERT_NE(data_page, 0u);
  const size_t base = data_page * kPage4;

  auto slots = full_;
  slots[base + 12] = 0xFF;  // slot count far beyond the page
  slots[base + 13] = 0x0F;
  EXPECT_NE(ReadEverything(slots).find("more rows"), std::string::npos);

  auto offset = full_;
  offset[base + 14] = 0x00;  // row 0 starts inside the page header
  offset[base + 15] = 0x00;
  EXPECT_NE(ReadEverything(offset).find("bounds"), std::string::npos);

  // Row 0's variable-column count made huge: the offsets would run past the row.
  auto columns = full_;
  const size_t row_end = base + kPage4;  // row 0 ends at the page end
  columns[row_end - 2 - 2] = 0xFF;  // u16 count sits before the 2-byte null mask (9 columns)
  columns[row_end - 2 - 1] = 0x7F;
  EXPECT_NE(ReadEverything(columns).find("more variable columns"), std::string::npos);
}

// A data page whose owner field no longer names the table drops out of the walk; the rows
// the table's definition counts then do not add up, and the walk says so instead of ending
// short, whether some pages are left or none.
TEST_F(DamagedFiles, WalkThatCannotAccountForTheTablesRowsIsDamaged) {
  const uint32_t tdef = TdefPage(full_, u"Articoli").value();
  std::vector<size_t> data_pages;
  for (size_t p = 3; p * kPage4 < full_.size(); ++p) {
    const uint8_t* page = full_.data() + p * kPage4;
    if (page[0] == 0x01 && engine::GetU32(page + 4) == tdef) data_pages.push_back(p);
  }
  ASSERT_GT(data_pages.size(), 1u);
  for (size_t flipped : {size_t{1}, data_pages.size()}) {
    auto bytes = full_;
    for (size_t i = 0; i < flipped; ++i) bytes[data_pages[i] * kPage4 + 4] ^= 0x01;  // one bit of the owner
    EXPECT_NE(ReadEverything(bytes).find("its definition counts"), std::string::npos) << flipped << " pages";
  }
}

TEST(DamagedLongValues, ChainThatPointsToItselfIsALoop) {
  REQUIRE_FIXTURES();
  // test2V2000's OLE value is a chain of LVAL rows starting at page 0x35, row 0.
  auto bytes = testsupport::ReadBytes(testsupport::Fixture("jet/V2000/test2V2000.mdb"));
  EXPECT_EQ(ReadEverything(bytes), "");
  const size_t lval_page = 0x35;
  ASSERT_EQ(std::memcmp(bytes.data() + lval_page * kPage4 + 4, "LVAL", 4), 0);
  const size_t row0 = lval_page * kPage4 + (engine::GetU16(bytes.data() + lval_page * kPage4 + 14) & 0x1FFF);
  PutU32(bytes, row0, (lval_page << 8) | 0);
  EXPECT_NE(ReadEverything(bytes).find("loop"), std::string::npos);
}

// A chain's rows may overlap on their pages, so that a chain through them gathers far more
// bytes than the file holds: no length beyond the file is believed, however the chain runs.
TEST(DamagedLongValues, ALengthBeyondTheFileIsDamage) {
  REQUIRE_FIXTURES();
  const auto bytes = testsupport::ReadBytes(testsupport::Fixture("jet/V2000/test2V2000.mdb"));
  auto pager = engine::jet::Pager::FromBytes(bytes, "copy");
  const engine::jet::LongValueHeader chain{0, 0, {engine::jet::PageNumber(0x35), 0}};  // as above
  for (const uint64_t length : {uint64_t{1}, uint64_t{bytes.size()} + 1}) {
    engine::jet::LongValueHeader header = chain;
    header.length = static_cast<uint32_t>(length);
    uint8_t field[engine::jet::kLongValueHeaderSize];
    header.Encode(field);
    std::vector<uint8_t> value;
    try {
      engine::jet::ReadLongValue(*pager, field, sizeof field, value);
      EXPECT_EQ(value.size(), length);
    } catch (const engine::Error& error) {
      EXPECT_GT(length, bytes.size()) << error.reason();
      EXPECT_NE(error.reason().find("longer than the file"), std::string::npos) << error.reason();
    }
  }
}

TEST(DamagedHeader, HeaderDecodingNamesVersionsAndCodePage) {
  REQUIRE_FIXTURES();
  const auto jet3 = testsupport::ReadBytes(testsupport::Fixture("jet/V1997/testV1997.mdb"));
  const auto h3 = engine::jet::DecodeHeaderPage(jet3.data(), jet3.size(), "t");
  EXPECT_EQ(h3.format->page_size, 2048u);
  EXPECT_EQ(h3.code_page, 1252);
  EXPECT_FALSE(h3.has_password);
  const auto jet4 = testsupport::ReadBytes(testsupport::Fixture("listini/listini.mdb"));
  const auto h4 = engine::jet::DecodeHeaderPage(jet4.data(), jet4.size(), "t");
  EXPECT_EQ(h4.format->page_size, 4096u);
  EXPECT_EQ(h4.sort_order, 0x0409);
  EXPECT_EQ(h4.encoding_key, 0u);
}

}  // namespace

namespace {

// The fuzzer's seed corpus and every input it ever crashed on (fuzz/corpus/jet): each one
// either reads cleanly or ends in an engine::Error naming the file, table after table.
TEST(FuzzCorpus, EveryInputReadsOrFailsCleanly) {
  const auto corpus = testsupport::SourceDir() / "fuzz" / "corpus" / "jet";
  if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
  int inputs = 0, refused = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    ++inputs;
    const std::string name = entry.path().filename().string();
    std::unique_ptr<engine::Database> database;
    try {
      database = OpenJetDatabaseFromBytes(testsupport::ReadBytes(entry.path()), name, engine::TextLocale::English());
    } catch (const engine::Error& error) {
      EXPECT_EQ(error.file(), name);
      ++refused;
      continue;
    }
    for (const auto& table : database->TableDefs()) {
      try {
        auto records = database->OpenRecordset(table.name);
        if (records->RecordCount() == 0) continue;
        for (records->MoveFirst(); !records->Eof(); records->MoveNext()) {
          for (int i = 0; i < records->FieldCount(); ++i) records->GetValue(i);
        }
      } catch (const engine::Error& error) {
        EXPECT_EQ(error.file(), name);
      }
    }
  }
  EXPECT_GT(inputs, 0);
  EXPECT_LT(refused, inputs);  // the seeds include databases that open
}

}  // namespace
