// Every readable workbook of the shared fixtures is read by us and by xlrd (Debian's
// python3-xlrd, through xlrd_cells.py): each cell must come out the same, and each sheet's
// table must hold those cells below its header row. The unreadable fixtures must fail
// with the reason a user needs.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "engine/base/error.h"
#include "engine/excel/compound_file.h"
#include "engine/excel/workbook.h"
#include "tests/engine/excel/excel_test_util.h"
#include "tests/support/files.h"
#include "tests/support/fixtures.h"

namespace {

namespace fs = std::filesystem;
using engine::excel::CellKind;

const std::map<std::string, std::string> kUnreadable = {
    {"libxls--xls2csv_ole_ole2_fread_327.xls", "damaged"},
    {"poi--clusterfuzz-testcase-minimized-POIHSSFFu.xls", "damaged"},
    {"parseexcel--pers-encrypted-def-pass-QwErTyUiOp.xls", "encrypted"},
    {"poi--password.xls", "encrypted"},
    {"poi--testEXCEL_4.xls", "Excel 2.x-4.0"},
};

std::string Python() { return fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3"; }

// Our cells in xlrd_cells.py's form.
std::string OurCells(const fs::path& path) {
  std::vector<uint8_t> file = testsupport::ReadBytes(path);
  auto stream = engine::excel::ReadTopLevelStream(file, {u"Workbook", u"Book"});
  if (!stream) return "no workbook stream";
  engine::excel::Workbook book = engine::excel::ParseWorkbook(*stream);
  std::ostringstream out;
  for (const auto& sheet : book.sheets) {
    out << "S\t" << testsupport::Escape(engine::ToUtf8(sheet.name)) << "\n";
    for (const auto& cell : sheet.cells) {
      std::string value = cell.kind == CellKind::Error ? "E" : testsupport::Neutral(book.CellValue(cell));
      out << "C\t" << cell.row << "\t" << cell.column << "\t" << value << "\n";
    }
  }
  return out.str();
}

struct Sheet {
  std::string name;
  std::map<std::pair<int, int>, std::string> cells;
};

std::vector<Sheet> ParseXlrdOutput(const std::string& text) {
  std::vector<Sheet> sheets;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("S\t", 0) == 0) {
      sheets.push_back(Sheet{line.substr(2), {}});
    } else if (line.rfind("C\t", 0) == 0 && !sheets.empty()) {
      std::istringstream fields(line.substr(2));
      int row, col;
      std::string value;
      fields >> row >> col;
      fields.get();
      std::getline(fields, value);
      sheets.back().cells[{row, col}] = value == "E" ? "" : value;  // an error reads as Null
    }
  }
  return sheets;
}

std::vector<fs::path> ReadableFixtures() {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(testsupport::FixturesDir() / "xls")) {
    if (entry.path().extension() == ".xls" && !kUnreadable.contains(entry.path().filename().string())) {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

// xlrd's reading of every readable fixture, by file name; xlrd runs once for all of them.
const std::map<std::string, std::string>& XlrdCellsByFile() {
  static const std::map<std::string, std::string> by_file = [] {
    fs::path script = testsupport::SourceDir() / "tests" / "engine" / "excel" / "xlrd_cells.py";
    std::string command = Python() + " '" + script.string() + "'";
    for (const fs::path& file : ReadableFixtures()) command += " '" + file.string() + "'";
    int status = 0;
    std::string output = testsupport::RunCommand(command, &status);
    std::map<std::string, std::string> result;
    if (status != 0) return result;
    std::istringstream in(output);
    std::string line, current;
    while (std::getline(in, line)) {
      if (line.rfind("F\t", 0) == 0) {
        current = line.substr(2);
      } else {
        result[current] += line + "\n";
      }
    }
    return result;
  }();
  return by_file;
}

std::string XlrdCells(const fs::path& file) {
  auto it = XlrdCellsByFile().find(file.filename().string());
  return it == XlrdCellsByFile().end() ? std::string() : it->second;
}

bool XlrdAvailable() {
  int status = 0;
  testsupport::RunCommand(Python() + " -c 'import xlrd' 2>/dev/null", &status);
  return status == 0;
}

#define REQUIRE_XLRD()                                                                  \
  do {                                                                                  \
    REQUIRE_FIXTURES();                                                                 \
    if (!XlrdAvailable()) {                                                             \
      if (testsupport::RunningInCi()) FAIL() << "python3-xlrd is missing";              \
      GTEST_SKIP() << "python3-xlrd is not installed";                                  \
    }                                                                                   \
  } while (0)

TEST(XlrdComparison, EveryCellOfEveryReadableFixtureMatches) {
  REQUIRE_XLRD();
  auto files = ReadableFixtures();
  ASSERT_GE(files.size(), 15u);
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.filename().string());
    std::string expected = XlrdCells(file);
    ASSERT_FALSE(expected.empty()) << "xlrd could not read it";
    std::string ours = OurCells(file);
    if (ours == expected) continue;
    std::istringstream a(expected), b(ours);
    std::string la, lb;
    int line = 1;
    while (std::getline(a, la) && std::getline(b, lb) && la == lb) ++line;
    ADD_FAILURE() << "first difference at line " << line << "\n  xlrd: " << la << "\n  ours: " << lb;
  }
}

TEST(XlrdComparison, SheetTablesHoldTheCellsBelowTheirHeaderRow) {
  REQUIRE_XLRD();
  for (const fs::path& file : ReadableFixtures()) {
    SCOPED_TRACE(file.filename().string());
    auto db = engine::excel::OpenExcelDatabase(file, engine::TextLocale::English());
    for (const Sheet& sheet : ParseXlrdOutput(XlrdCells(file))) {
      SCOPED_TRACE(sheet.name);
      auto rs = db->OpenRecordset(engine::FromUtf8(sheet.name) + u"$");
      if (sheet.cells.empty()) {
        EXPECT_EQ(rs->RecordCount(), 0);
        continue;
      }
      int first_row = sheet.cells.begin()->first.first, last_row = sheet.cells.rbegin()->first.first;
      int first_col = INT32_MAX, last_col = 0;
      for (const auto& [at, value] : sheet.cells) {
        first_col = std::min(first_col, at.second);
        last_col = std::max(last_col, at.second);
      }
      ASSERT_EQ(rs->FieldCount(), last_col - first_col + 1);
      ASSERT_EQ(rs->RecordCount(), last_row - first_row);
      for (int row = first_row + 1; !rs->Eof(); ++row, rs->MoveNext()) {
        for (int col = first_col; col <= last_col; ++col) {
          auto it = sheet.cells.find({row, col});
          std::string expected = it == sheet.cells.end() ? "" : it->second;
          ASSERT_EQ(testsupport::Neutral(rs->GetValue(col - first_col)), expected) << "row " << row << " column " << col;
        }
      }
    }
  }
}

TEST(UnreadableFixtures, FailWithTheReason) {
  REQUIRE_FIXTURES();
  for (const auto& [name, reason] : kUnreadable) {
    SCOPED_TRACE(name);
    fs::path path = testsupport::FixturesDir() / "xls" / name;
    try {
      engine::excel::OpenExcelDatabase(path, engine::TextLocale::English());
      ADD_FAILURE() << "opened without error";
    } catch (const engine::Error& e) {
      EXPECT_NE(e.reason().find(reason), std::string::npos) << e.reason();
      EXPECT_EQ(e.file(), path.string());
    }
  }
}

}  // namespace
