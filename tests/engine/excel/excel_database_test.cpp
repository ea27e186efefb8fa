// How a workbook appears as tables, checked on workbooks built for each rule: which tables
// are listed and how they are named, where a table starts and ends, what each cell reads
// as, and the errors for files that cannot be read.
#include "engine/excel/excel_database.h"

#include <gtest/gtest.h>

#include <functional>

#include "engine/base/error.h"
#include "engine/excel/biff_records.h"
#include "engine/excel/compound_file.h"
#include "tests/engine/excel/excel_test_util.h"
#include "tests/support/files.h"
#include "tests/support/fixtures.h"
#include "tests/support/whole_record_reads.h"

namespace {

using engine::Value;
using testsupport::Neutral;
using testsupport::Open;
using testsupport::WorkbookWriter;

std::vector<std::string> TableNames(const engine::Database& db) {
  std::vector<std::string> names;
  for (const engine::TableInfo& table : db.TableDefs()) {
    EXPECT_FALSE(table.is_system);
    names.push_back(engine::ToUtf8(table.name));
  }
  return names;
}

std::vector<std::string> FieldNames(const engine::Recordset& rs) {
  std::vector<std::string> names;
  for (int i = 0; i < rs.FieldCount(); ++i) names.push_back(engine::ToUtf8(rs.FieldName(i)));
  return names;
}

// Every record, each as its values in neutral form ("" for Null).
std::vector<std::vector<std::string>> Records(engine::Recordset& rs) {
  std::vector<std::vector<std::string>> records;
  for (; !rs.Eof(); rs.MoveNext()) {
    std::vector<std::string> values;
    for (int i = 0; i < rs.FieldCount(); ++i) values.push_back(Neutral(rs.GetValue(i)));
    records.push_back(values);
  }
  return records;
}

std::string OpenError(testsupport::Bytes bytes) {
  try {
    Open(std::move(bytes));
  } catch (const engine::Error& e) {
    EXPECT_EQ(e.file(), "test.xls");
    return e.reason();
  }
  return "no error";
}

TEST(ExcelTables, SheetsAndRangeNamesAreListedAlphabeticallyWithJetsNames) {
  WorkbookWriter w;
  size_t zeta = w.AddSheet(u"Zeta");
  w.AddSheet(u"Listino 2024");
  w.AddSheet(u"alfa");
  w.AddSheet(u"Grafico", 2);  // a chart sheet is no table
  w.AddSheet(u"O'Reilly");
  w.Text(zeta, 0, 0, u"x");
  w.Name(u"Prezzi", zeta, 0, 3, 0, 1);
  w.Name(u"Nascosto", zeta, 0, 3, 0, 1, 0x01);
  w.Name(u"_FilterDatabase", zeta, 0, 3, 0, 1, 0x01);
  w.Name(u"Print_Area", zeta, 0, 3, 0, 1);
  auto db = Open(w);
  EXPECT_EQ(TableNames(*db),
            (std::vector<std::string>{"'Listino 2024$'", "'O''Reilly$'", "alfa$", "Prezzi", "Zeta$"}));
}

TEST(ExcelTables, EitherFormOfASheetNameOpensIt) {
  WorkbookWriter w;
  size_t s = w.AddSheet(u"Listino 2024");
  w.Text(s, 0, 0, u"Codice");
  w.Text(s, 1, 0, u"A-1");
  size_t q = w.AddSheet(u"O'Reilly");
  w.Text(q, 0, 0, u"Nome");
  auto db = Open(w);
  for (const char16_t* source : {u"'Listino 2024$'", u"Listino 2024$", u"listino 2024$", u"[Listino 2024$]",
                                 u"Select * From [Listino 2024$];", u"select * from ['Listino 2024$']"}) {
    SCOPED_TRACE(engine::ToUtf8(source));
    auto rs = db->OpenRecordset(source);
    EXPECT_EQ(FieldNames(*rs), std::vector<std::string>{"Codice"});
    EXPECT_EQ(rs->RecordCount(), 1);
  }
  EXPECT_EQ(FieldNames(*db->OpenRecordset(u"'O''Reilly$'")), std::vector<std::string>{"Nome"});
  EXPECT_EQ(FieldNames(*db->OpenRecordset(u"O'Reilly$")), std::vector<std::string>{"Nome"});
  EXPECT_THROW(db->OpenRecordset(u"Listino 2024"), engine::Error);  // a sheet needs its "$"
  EXPECT_THROW(db->OpenRecordset(u"Select * From [Listino 2024$] where [Codice]='A-1';"), engine::Error);
  EXPECT_THROW(db->OpenRecordset(u"Update x"), engine::Error);
}

TEST(ExcelTables, ATableRunsFromTheFirstValueToTheLastRowWithAValue) {
  WorkbookWriter w;
  size_t s = w.AddSheet(u"Dati");
  w.Blank(s, 0, 0);  // formatted but empty cells do not move the start
  w.Text(s, 2, 2, u"Codice");
  w.Text(s, 2, 3, u"Prezzo");
  w.Text(s, 3, 2, u"A");
  w.Number(s, 3, 3, 1);
  // row 4 is empty: a record of Nulls
  w.Text(s, 5, 1, u"left of the header");
  w.Number(s, 5, 3, 3);
  w.Blank(s, 9, 3);  // nor do they move the end
  auto rs = Open(w)->OpenRecordset(u"Dati$");
  EXPECT_EQ(FieldNames(*rs), (std::vector<std::string>{"F1", "Codice", "Prezzo"}));
  ASSERT_EQ(rs->RecordCount(), 3);
  EXPECT_EQ(Records(*rs), (std::vector<std::vector<std::string>>{
                              {"", "T:A", "N:1"}, {"", "", ""}, {"T:left of the header", "", "N:3"}}));
}

TEST(ExcelTables, HeaderCellsGiveUniqueFieldNames) {
  WorkbookWriter w;
  size_t s = w.AddSheet(u"S");
  w.Text(s, 0, 0, u"Preis");
  // column 1 blank
  w.Text(s, 0, 2, u"Preis");
  w.Number(s, 0, 3, 2024);
  w.Number(s, 0, 4, 12.5);
  w.Bool(s, 0, 5, true);
  w.Text(s, 0, 6, std::u16string(80, u'L'));
  w.Text(s, 1, 0, u"x");
  auto english = Open(w)->OpenRecordset(u"S$");
  EXPECT_EQ(FieldNames(*english),
            (std::vector<std::string>{"Preis", "F2", "Preis1", "2024", "12.5", "True", std::string(64, 'L')}));
  auto italian = engine::excel::OpenExcelDatabase(w.File(), "x.xls", engine::TextLocale::Italian())->OpenRecordset(u"S$");
  EXPECT_EQ(engine::ToUtf8(italian->FieldName(4)), "12,5");
  EXPECT_EQ(italian->FieldPosition(u"preis1"), 2);
  EXPECT_THROW(italian->FieldPosition(u"Prezzo"), engine::Error);
}

TEST(ExcelTables, EachCellKeepsItsOwnType) {
  WorkbookWriter w;
  uint16_t custom_date = w.AddFormat(u"dd/mm/yyyy hh:mm");
  uint16_t money = w.AddFormat(u"#,##0.00 \"€\"");
  size_t s = w.AddSheet(u"S");
  w.Text(s, 0, 0, u"V");
  w.Text(s, 1, 0, u"0815");
  w.Number(s, 2, 0, 123);
  w.Number(s, 3, 0, 12.5, money);
  w.Date(s, 4, 0, 45351);
  w.Date(s, 5, 0, 45351.5, custom_date);
  w.Date(s, 6, 0, 0.75, WorkbookWriter::kTimeXf);
  w.Bool(s, 7, 0, true);
  w.Bool(s, 8, 0, false);
  w.Error(s, 9, 0);
  w.Blank(s, 10, 0);
  w.Rk(s, 11, 0, (uint32_t(-5) << 2) | 0x2);  // integer -5
  w.Rk(s, 12, 0, (1234 << 2) | 0x3);          // integer 1234 / 100
  w.Rk(s, 13, 0, 0x3FF00000 | 0x1);           // double 1.0 / 100
  w.MulRk(s, 14, 0, {(7 << 2) | 2});
  w.Number(s, 15, 0, 0.25, WorkbookWriter::kPercentXf);
  w.InlineText(s, 16, 0, u"Dübel ∑");
  w.Text(s, 17, 0, u"");
  auto rs = Open(w)->OpenRecordset(u"S$");
  EXPECT_EQ(Records(*rs), (std::vector<std::vector<std::string>>{
                              {"T:0815"}, {"N:123"}, {"N:12.5"}, {"D:2024-02-29T00:00:00"}, {"D:2024-02-29T12:00:00"},
                              {"D:1899-12-30T18:00:00"}, {"B:1"}, {"B:0"}, {""}, {""}, {"N:-5"}, {"N:12.34"},
                              {"N:0.01"}, {"N:7"}, {"N:0.25"}, {"T:Dübel ∑"}, {"T:"}}));
  rs->MoveFirst();
  rs->MoveNext();
  EXPECT_EQ(rs->GetValue(0).type(), Value::Type::Double);
  EXPECT_EQ(engine::ToUtf8(rs->GetValue(0).ToText(engine::TextLocale::Italian())), "123");
}

TEST(ExcelTables, The1904DateSystemIsFollowed) {
  WorkbookWriter w;
  w.SetDate1904(true);
  size_t s = w.AddSheet(u"S");
  w.Text(s, 0, 0, u"Data");
  w.Date(s, 1, 0, 43889);
  auto rs = Open(w)->OpenRecordset(u"S$");
  EXPECT_EQ(Neutral(rs->GetValue(0)), "D:2024-02-29T00:00:00");
}

TEST(ExcelTables, FormulasGiveTheirLastResult) {
  WorkbookWriter w;
  size_t s = w.AddSheet(u"S");
  w.Text(s, 0, 0, u"F");
  w.FormulaNumber(s, 1, 0, 1.785);
  w.FormulaText(s, 2, 0, u"txtA-1");
  w.FormulaBool(s, 3, 0, true);
  w.FormulaError(s, 4, 0);
  w.FormulaEmptyText(s, 5, 0);
  w.FormulaNumber(s, 6, 0, 45351, WorkbookWriter::kDateXf);
  w.FormulaText(s, 7, 0, std::u16string(9000, u'Ж'));  // a text result longer than one record
  auto rs = Open(w)->OpenRecordset(u"S$");
  auto records = Records(*rs);
  ASSERT_EQ(records.size(), 7u);
  EXPECT_EQ(records[0][0], "N:1.785");
  EXPECT_EQ(records[1][0], "T:txtA-1");
  EXPECT_EQ(records[2][0], "B:1");
  EXPECT_EQ(records[3][0], "");
  EXPECT_EQ(records[4][0], "T:");
  EXPECT_EQ(records[5][0], "D:2024-02-29T00:00:00");
  EXPECT_EQ(records[6][0], "T:" + engine::ToUtf8(std::u16string(9000, u'Ж')));
}

TEST(ExcelTables, LongTextsAreWholeAcrossContinueRecords) {
  // Small records force every way a shared text can be split: inside 8-bit and 16-bit
  // characters, with the width switching at the boundary, and between texts.
  for (bool switch_width : {false, true}) {
    WorkbookWriter w;
    w.SetMaxRecordSize(37);
    w.SetSwitchWidthOnContinue(switch_width);
    size_t s = w.AddSheet(u"S");
    std::u16string latin(1000, u'a'), wide = u"Ωmega " + std::u16string(300, u'ß') + u" €";
    for (size_t i = 0; i < latin.size(); ++i) latin[i] = static_cast<char16_t>(u'a' + i % 26);
    w.Text(s, 0, 0, u"Descrizione");
    w.Text(s, 1, 0, latin);
    w.Text(s, 2, 0, wide);
    w.Text(s, 3, 0, u"short");
    auto rs = Open(w)->OpenRecordset(u"S$");
    auto records = Records(*rs);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0][0], "T:" + engine::ToUtf8(latin));
    EXPECT_EQ(records[1][0], "T:" + engine::ToUtf8(wide));
    EXPECT_EQ(records[2][0], "T:short");
  }
}

TEST(ExcelTables, MergedCellsKeepOnlyTheTopLeftValue) {
  WorkbookWriter w;
  size_t s = w.AddSheet(u"S");
  w.Text(s, 0, 0, u"A");
  w.Text(s, 0, 1, u"B");
  w.Text(s, 0, 2, u"C");
  w.Text(s, 1, 0, u"merged");
  w.Text(s, 1, 1, u"hidden under the merge");
  w.Number(s, 2, 0, 5);
  w.Number(s, 2, 2, 6);
  w.Merge(s, 1, 2, 0, 1);
  auto rs = Open(w)->OpenRecordset(u"S$");
  EXPECT_EQ(Records(*rs), (std::vector<std::vector<std::string>>{{"T:merged", "", ""}, {"", "", "N:6"}}));
}

TEST(ExcelTables, ANamedRangeIsATableOfItsCells) {
  WorkbookWriter w;
  size_t s = w.AddSheet(u"Listino");
  w.Text(s, 0, 0, u"outside");
  w.Text(s, 2, 1, u"Codice");
  w.Text(s, 2, 2, u"Prezzo");
  w.Text(s, 3, 1, u"A-1");
  w.Number(s, 3, 2, 2);
  w.Number(s, 3, 3, 99);  // right of the range
  w.Text(s, 4, 1, u"A-2");
  w.Text(s, 8, 1, u"below the range");
  w.Name(u"Prezzi", s, 2, 6, 1, 2);
  auto rs = Open(w)->OpenRecordset(u"Select * From Prezzi;");
  EXPECT_EQ(FieldNames(*rs), (std::vector<std::string>{"Codice", "Prezzo"}));
  EXPECT_EQ(Records(*rs), (std::vector<std::vector<std::string>>{{"T:A-1", "N:2"}, {"T:A-2", ""}}));
}

TEST(ExcelTables, Excel95WorkbooksReadTheSame) {
  WorkbookWriter w;
  w.SetBiff5(true);
  uint16_t date = w.AddFormat(u"dd/mm/yyyy");
  size_t s = w.AddSheet(u"Listino caffè");
  w.Text(s, 0, 0, u"Codice");
  w.Text(s, 0, 1, u"Prezzo €");
  w.Text(s, 0, 2, u"Data");
  w.Text(s, 1, 0, u"CAFFÈ-1");
  w.Number(s, 1, 1, 3.5);
  w.Date(s, 1, 2, 45351, date);
  w.FormulaText(s, 2, 0, u"Tè verde");
  w.Bool(s, 2, 1, true);
  w.Name(u"Prezzi", s, 0, 2, 0, 1);
  auto db = Open(w);
  EXPECT_EQ(TableNames(*db), (std::vector<std::string>{"'Listino caffè$'", "Prezzi"}));
  auto rs = db->OpenRecordset(u"'Listino caffè$'");
  EXPECT_EQ(FieldNames(*rs), (std::vector<std::string>{"Codice", "Prezzo €", "Data"}));
  EXPECT_EQ(Records(*rs), (std::vector<std::vector<std::string>>{{"T:CAFFÈ-1", "N:3.5", "D:2024-02-29T00:00:00"},
                                                                 {"T:Tè verde", "B:1", ""}}));
  auto named = db->OpenRecordset(u"Prezzi");
  EXPECT_EQ(FieldNames(*named), (std::vector<std::string>{"Codice", "Prezzo €"}));
  EXPECT_EQ(named->RecordCount(), 2);
}

TEST(ExcelRecordset, MovesAndCountsLikeDao) {
  WorkbookWriter w;
  size_t s = w.AddSheet(u"S");
  w.Text(s, 0, 0, u"N");
  for (int i = 1; i <= 4; ++i) w.Number(s, i, 0, i);
  size_t empty = w.AddSheet(u"Vuoto");
  size_t header_only = w.AddSheet(u"Intestazione");
  w.Text(header_only, 0, 0, u"Codice");
  (void)empty;
  auto db = Open(w);
  auto rs = db->OpenRecordset(u"S$");
  EXPECT_EQ(rs->RecordCount(), 4);
  rs->MoveLast();
  EXPECT_EQ(Neutral(rs->GetValue(0)), "N:4");
  rs->MoveFirst();
  EXPECT_EQ(Neutral(rs->GetValue(u"n")), "N:1");
  for (int i = 0; i < 4; ++i) rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  EXPECT_THROW(rs->GetValue(0), engine::Error);
  EXPECT_THROW(rs->MoveNext(), engine::Error);
  EXPECT_THROW(rs->FieldName(1), engine::Error);
  EXPECT_THROW(rs->AddNew(), engine::Error);
  EXPECT_THROW(db->Execute(u"DELETE * From [S$];"), engine::Error);

  auto none = db->OpenRecordset(u"Vuoto$");
  EXPECT_EQ(FieldNames(*none), std::vector<std::string>{"F1"});
  EXPECT_EQ(none->RecordCount(), 0);
  EXPECT_TRUE(none->Eof());
  EXPECT_THROW(none->MoveLast(), engine::Error);
  auto header = db->OpenRecordset(u"Intestazione$");
  EXPECT_EQ(FieldNames(*header), std::vector<std::string>{"Codice"});
  EXPECT_EQ(header->RecordCount(), 0);
}

TEST(ExcelRecordset, WholeRecordsReadAsTheirFieldsOneByOne) {
  REQUIRE_FIXTURES();
  long compared = 0;
  for (const auto& entry : std::filesystem::directory_iterator(testsupport::FixturesDir() / "xls")) {
    std::unique_ptr<engine::Database> book;
    try {
      book = engine::excel::OpenExcelDatabase(entry.path(), engine::TextLocale::English());
    } catch (const engine::Error&) {
      continue;  // the fixtures no one can read
    }
    for (const engine::TableInfo& table : book->TableDefs()) {
      SCOPED_TRACE(entry.path().filename().string() + " " + engine::ToUtf8(table.name));
      compared += testsupport::CompareWholeAndFieldReads(*book->OpenRecordset(table.name));
    }
  }
  EXPECT_GT(compared, 1000);
}

TEST(ExcelErrors, FilesThatAreNotReadableWorkbooksSayWhy) {
  WorkbookWriter encrypted;
  encrypted.AddSheet(u"S");
  encrypted.SetEncrypted(true);
  EXPECT_NE(OpenError(encrypted.File()).find("encrypted"), std::string::npos);
  EXPECT_NE(OpenError({'P', 'K', 3, 4, 20, 0, 0, 0}).find(".xlsx"), std::string::npos);
  EXPECT_NE(OpenError({0x09, 0x04, 0x06, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00}).find("Excel 2.x-4.0"), std::string::npos);
  EXPECT_NE(OpenError({}).find("empty"), std::string::npos);
  std::string text = "Codice;Prezzo\nA-1;2\n";
  EXPECT_NE(OpenError(testsupport::Bytes(text.begin(), text.end())).find("not an Excel workbook"), std::string::npos);
  EXPECT_NE(OpenError(testsupport::WrapInCompoundFile(testsupport::Bytes(100, 0), u"WordDocument")).find("no Excel workbook"),
            std::string::npos);
  try {
    engine::excel::OpenExcelDatabase("/nonexistent/listino.xls", engine::TextLocale::English());
    ADD_FAILURE();
  } catch (const engine::Error& e) {
    EXPECT_EQ(e.file(), "/nonexistent/listino.xls");
  }
}

TEST(ExcelErrors, DamagedWorkbookStreamsAreReportedAsDamaged) {
  WorkbookWriter w;
  size_t s = w.AddSheet(u"S");
  w.Text(s, 0, 0, u"Codice");
  w.Text(s, 1, 0, u"A-1");
  testsupport::Bytes stream = w.Stream();

  testsupport::Bytes sheet_outside = stream;  // the sheet list points past the stream
  for (size_t i = 0; i + 4 <= sheet_outside.size(); ++i) {
    if (sheet_outside[i] == 0x85 && sheet_outside[i + 1] == 0x00) {
      testsupport::SetU32(sheet_outside, i + 4, 0x00FFFFFF);
      break;
    }
  }
  EXPECT_NE(OpenError(testsupport::WrapInCompoundFile(sheet_outside)).find("damaged"), std::string::npos);

  WorkbookWriter bad_index;
  size_t b = bad_index.AddSheet(u"S");
  bad_index.Raw(b, 0x00FD, {0, 0, 0, 0, 0, 0, 50, 0, 0, 0});  // shared text 50 of none
  EXPECT_NE(OpenError(bad_index.File()).find("damaged"), std::string::npos);

  WorkbookWriter short_cell;
  size_t c = short_cell.AddSheet(u"S");
  short_cell.Raw(c, 0x0203, {0, 0, 0, 0, 0, 0, 1, 2});  // NUMBER without its 8 bytes
  EXPECT_NE(OpenError(short_cell.File()).find("damaged"), std::string::npos);

  testsupport::Bytes no_end(stream.begin(), stream.begin() + 40);  // the global part is cut
  EXPECT_NE(OpenError(testsupport::WrapInCompoundFile(no_end)).find("damaged"), std::string::npos);

  // A stream that ends inside the sheet's last record, or right before the sheet's end.
  for (size_t cut : {size_t{6}, size_t{4}}) {
    testsupport::Bytes cut_short(stream.begin(), stream.end() - static_cast<long>(cut));
    EXPECT_NE(OpenError(testsupport::WrapInCompoundFile(cut_short)).find("damaged"), std::string::npos) << cut;
  }

  // Cells that stop before the rows DIMENSIONS gives (rows 0 to 9) were lost; dimensions
  // that give fewer rows than the cells are a harmless slip of some writers.
  for (const uint8_t rows_end : {uint8_t{10}, uint8_t{1}}) {
    WorkbookWriter dimensions;
    size_t d = dimensions.AddSheet(u"S");
    dimensions.Raw(d, 0x0200, {0, 0, 0, 0, rows_end, 0, 0, 0, 0, 0, 1, 0, 0, 0});
    dimensions.Text(d, 0, 0, u"Codice");
    dimensions.Text(d, 1, 0, u"A-1");
    EXPECT_EQ(OpenError(dimensions.File()).find("damaged") != std::string::npos, rows_end == 10) << int{rows_end};
  }
}

// Where the first record of sheet `sheet` (by the sheet list's order) that `wanted` accepts
// starts in the stream; the sheet's records only, not those of charts inside it.
size_t RecordOfSheet(const testsupport::Bytes& stream, size_t sheet, const std::function<bool(uint16_t)>& wanted) {
  engine::excel::RecordStream records(stream);
  std::vector<uint32_t> sheet_starts;
  while (records.Next() && records.type() != engine::excel::record::kEof) {
    if (records.type() == engine::excel::record::kBoundSheet) sheet_starts.push_back(records.Reader().U32());
  }
  records.Seek(sheet_starts.at(sheet));
  for (int depth = 0; records.Next();) {
    if (records.type() == engine::excel::record::kBof) ++depth;
    if (records.type() == engine::excel::record::kEof && --depth == 0) break;
    if (depth == 1 && wanted(records.type())) return records.offset();
  }
  ADD_FAILURE() << "no such record in sheet " << sheet;
  return 0;
}

bool IsNumberCell(uint16_t type) {
  return type == engine::excel::record::kNumber || type == engine::excel::record::kRk;
}

// Damaged copies of a real workbook: the reader used to give a sheet's header alone, or rows
// that are not there with a number read as Null, without a word. Each is refused as damaged.
TEST(ExcelErrors, DamagedCopiesOfARealWorkbookAreRefused) {
  REQUIRE_FIXTURES();
  const testsupport::Bytes file = testsupport::ReadBytes(testsupport::Fixture("xls/readxl--types.xls"));
  const testsupport::Bytes sound = *engine::excel::ReadTopLevelStream(file, {u"Workbook"});
  constexpr size_t kTwentyRows = 2, kEightRows = 4;  // "smorgasbord" and "date_coercion"
  constexpr size_t kLength = 2, kData = 4;            // a record's length and data, after its type
  const struct {
    const char* damage;
    std::function<void(testsupport::Bytes&)> apply;
  } cases[] = {
      {"", [](testsupport::Bytes&) {}},
      {"dimensions of length 0",
       [](testsupport::Bytes& s) {
         const size_t at = RecordOfSheet(s, kTwentyRows, [](uint16_t t) { return t == engine::excel::record::kDimensions; });
         s[at + kLength] = s[at + kLength + 1] = 0;
       }},
      {"a number cell's row 256 further",
       [](testsupport::Bytes& s) { ++s[RecordOfSheet(s, kEightRows, IsNumberCell) + kData + 1]; }},
      {"a number cell's length 4 longer",
       [](testsupport::Bytes& s) { s[RecordOfSheet(s, kEightRows, IsNumberCell) + kLength] += 4; }},
      {"two sheets on the same records",
       [](testsupport::Bytes& s) {
         size_t first = 0;
         engine::excel::RecordStream records(s);
         while (records.Next() && records.type() != engine::excel::record::kEof) {
           if (records.type() != engine::excel::record::kBoundSheet) continue;
           if (first == 0) first = records.offset();
           else std::copy_n(s.begin() + static_cast<long>(first + kData), 4, s.begin() + static_cast<long>(records.offset() + kData));
         }
       }},
  };
  for (const auto& c : cases) {
    testsupport::Bytes stream = sound;
    c.apply(stream);
    const std::string error = OpenError(testsupport::WrapInCompoundFile(stream));
    EXPECT_EQ(error.find("damaged") != std::string::npos, *c.damage != 0) << c.damage << ": " << error;
  }
}

TEST(ExcelTables, MergedRangesPiledOnEachOtherStillLeaveTheirTopLeftCell) {
  // 8,000 copies of a range over a column of 10,000 values, and one overlapping range:
  // Excel never writes such a file, but reading it must stay quick and give each range's
  // top-left value alone.
  WorkbookWriter w;
  size_t s = w.AddSheet(u"S");
  for (int r = 0; r < 10000; ++r) w.Number(s, r, 0, r);
  w.Number(s, 5000, 1, 1);
  for (int block = 0; block < 8; ++block) {
    testsupport::Bytes d;
    testsupport::PutU16(d, 1000);
    for (int i = 0; i < 1000; ++i) {
      for (int v : {1, 9999, 0, 0}) testsupport::PutU16(d, v);
    }
    w.Raw(s, 0x00E5, d);
  }
  w.Merge(s, 5000, 5001, 1, 3);
  auto rs = Open(w)->OpenRecordset(u"S$");
  ASSERT_EQ(rs->RecordCount(), 5000);  // down to row 5000, the last with a value left
  EXPECT_EQ(Neutral(rs->GetValue(0)), "N:1");
  rs->MoveLast();
  EXPECT_EQ(Neutral(rs->GetValue(0)), "");
  EXPECT_EQ(Neutral(rs->GetValue(1)), "N:1");
}

TEST(ExcelErrors, CellsFarApartNeedNoMoreMemoryThanTheCells) {
  // Two cells at opposite corners of the largest sheet: the table spans 65,535 records
  // of 256 fields, yet only the two cells are stored and the walk reads Nulls.
  WorkbookWriter w;
  size_t s = w.AddSheet(u"S");
  w.Text(s, 0, 0, u"first");
  w.Number(s, 65535, 255, 1);
  auto rs = Open(w)->OpenRecordset(u"S$");
  EXPECT_EQ(rs->FieldCount(), 256);
  EXPECT_EQ(rs->RecordCount(), 65535);
  rs->MoveLast();
  EXPECT_EQ(Neutral(rs->GetValue(255)), "N:1");
  EXPECT_EQ(Neutral(rs->GetValue(0)), "");
}

}  // namespace
