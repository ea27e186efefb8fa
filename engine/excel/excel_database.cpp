// Opening a workbook file: tell what kind of file it is (compound file with a BIFF5/BIFF8
// workbook, bare BIFF stream, Excel 2.x-4.0 file, .xlsx zip), parse it once, then serve
// its worksheets and named ranges as tables in Jet's alphabetical order.
#include "engine/excel/excel_database.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/text/case_fold.h"
#include "engine/base/error.h"
#include "engine/excel/compound_file.h"
#include "engine/excel/table_names.h"
#include "engine/excel/workbook.h"
#include "engine/excel/worksheet_table.h"
#include "engine/sql/sql.h"

namespace engine::excel {
namespace {

[[noreturn]] void ThrowSystemError(const std::filesystem::path& path, const char* what, int error) {
  throw Error(path.string(), std::string(what) + ": " + std::strerror(error), KindOfSystemError(error));
}

// The workbook is read whole, once. Another program may cut the file short or rewrite it
// meanwhile (a share, a backup tool): a short read, or a size or modification time that
// differs after the read, is reported as a changed file rather than parsed as damage.
std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) ThrowSystemError(path, "the file cannot be opened", errno);
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  const auto cannot_read = [&] { ThrowSystemError(path, "the file cannot be read", errno); };
  const auto changed = [&] {
    return Error(path.string(), "the file was cut short or changed by another program while it was being read",
                 ErrorKind::FileChanged);
  };
  struct stat before {};
  if (::fstat(fd, &before) != 0) cannot_read();
  std::vector<uint8_t> bytes(static_cast<size_t>(before.st_size));
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t got = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) cannot_read();
    if (got == 0) throw changed();
    done += static_cast<size_t>(got);
  }
  struct stat after {};
  if (::fstat(fd, &after) != 0) cannot_read();
  if (after.st_size != before.st_size || after.st_mtim.tv_sec != before.st_mtim.tv_sec ||
      after.st_mtim.tv_nsec != before.st_mtim.tv_nsec) {
    throw changed();
  }
  return bytes;
}

bool StartsWith(const std::vector<uint8_t>& bytes, std::initializer_list<uint8_t> prefix) {
  return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

// The workbook stream inside the file, or the whole file when it is a bare BIFF stream.
std::vector<uint8_t> WorkbookStream(std::vector<uint8_t> bytes) {
  if (bytes.empty()) throw Error("", "the file is empty", ErrorKind::Damaged);
  if (StartsWith(bytes, {'P', 'K', 0x03, 0x04})) {
    throw Error("", "the file is an Excel 2007 or later workbook (.xlsx) with an .xls name; save it as Excel 97-2003",
                ErrorKind::UnsupportedFormat);
  }
  if (HasCompoundFileSignature(bytes)) {
    if (auto stream = ReadTopLevelStream(bytes, {u"Workbook", u"Book"})) return std::move(*stream);
    if (ReadTopLevelStream(bytes, {u"EncryptedPackage"})) {
      throw Error("", "the workbook is encrypted with a password; save it without a password and try again",
                  ErrorKind::Protected);
    }
    throw Error("", "the file holds no Excel workbook", ErrorKind::Damaged);
  }
  // Files of Excel 2.x-4.0 (and bare BIFF5 streams) start directly with a BOF record.
  if (bytes.size() >= 2 && bytes[0] == 0x09 && (bytes[1] <= 0x04 || bytes[1] == 0x08)) return bytes;
  throw Error("", "the file is not an Excel workbook", ErrorKind::Damaged);
}

struct TableEntry {
  std::u16string listed_name;
  std::u16string folded_name;  // without quotes, letter case folded: for lookups
  size_t sheet = 0;
  std::optional<CellRange> range;  // a defined name's range; none for a whole worksheet
};

class ExcelDatabase : public Database {
 public:
  ExcelDatabase(std::filesystem::path path, Workbook book, const TextLocale& locale)
      : path_(std::move(path)), book_(std::make_shared<Workbook>(std::move(book))), locale_(locale) {
    for (size_t i = 0; i < book_->sheets.size(); ++i) {
      std::u16string listed = SheetTableName(book_->sheets[i].name);
      tables_.push_back(TableEntry{listed, FoldCase(UnquoteTableName(listed)), i, std::nullopt});
    }
    for (const DefinedName& name : book_->names) {
      tables_.push_back(TableEntry{name.name, FoldCase(name.name), name.sheet, name.range});
    }
    std::stable_sort(tables_.begin(), tables_.end(), [](const TableEntry& a, const TableEntry& b) {
      std::u16string fa = FoldCase(a.listed_name), fb = FoldCase(b.listed_name);
      return fa != fb ? fa < fb : a.listed_name < b.listed_name;
    });
  }

  StoredRecords stored_records() const override { return {}; }  // workbooks are never written

  std::vector<TableInfo> TableDefs() const override {
    std::vector<TableInfo> infos;
    for (const TableEntry& table : tables_) infos.push_back(TableInfo{table.listed_name, false});
    return infos;
  }

  std::unique_ptr<Recordset> OpenRecordset(std::u16string_view source) override {
    SelectStatement select;
    try {
      select = ParseRecordSource(source);
    } catch (const Error& e) {
      throw e.Within(path_.string());
    }
    if (select.where_column) {
      throw Error(path_.string(), "a workbook's tables cannot be filtered with WHERE", ErrorKind::Unsupported);
    }
    std::u16string wanted = FoldCase(UnquoteTableName(select.table));
    for (const TableEntry& table : tables_) {
      if (table.folded_name != wanted) continue;
      auto layout = std::make_shared<WorksheetTable>(
          table.range ? WorksheetTable::ForRange(book_, table.sheet, *table.range, locale_)
                      : WorksheetTable::ForSheet(book_, table.sheet, locale_));
      return MakeWorksheetRecordset(std::move(layout), path_.string());
    }
    throw Error(path_.string(), "the workbook has no sheet or named range \"" + ToUtf8(select.table) + "\"",
                ErrorKind::NoSuchTable);
  }

  const std::filesystem::path& path() const override { return path_; }

 private:
  std::filesystem::path path_;
  std::shared_ptr<const Workbook> book_;
  TextLocale locale_;
  std::vector<TableEntry> tables_;
};

}  // namespace

std::unique_ptr<Database> OpenExcelDatabase(std::vector<uint8_t> bytes, const std::filesystem::path& path,
                                            const TextLocale& locale) {
  try {
    Workbook book = ParseWorkbook(WorkbookStream(std::move(bytes)));
    return std::make_unique<ExcelDatabase>(path, std::move(book), locale);
  } catch (const Error& e) {
    if (!e.file().empty()) throw;
    throw e.Within(path.string());
  } catch (const std::bad_alloc&) {
    throw Error(path.string(), "the workbook is too large to read", ErrorKind::TooLarge);
  }
}

std::unique_ptr<Database> OpenExcelDatabase(const std::filesystem::path& path, const TextLocale& locale) {
  return OpenExcelDatabase(ReadWholeFile(path), path, locale);
}

}  // namespace engine::excel
