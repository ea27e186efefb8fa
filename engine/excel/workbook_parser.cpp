// Reading the records of a BIFF5/BIFF8 workbook stream. The stream starts with the
// workbook globals (BOF type 0x0005 ... EOF): code page, date system, the sheet list
// (BOUNDSHEET: stream offset of the sheet's BOF, visibility, kind, name), the shared string
// table (SST), number formats (FORMAT) and cell formats (XF), defined names (NAME) and the
// sheet references names use (SUPBOOK, EXTERNSHEET). Each worksheet follows as its own
// BOF (type 0x0010) ... EOF block of cell records; embedded charts nest further BOF/EOF
// blocks inside it. Cell records start with row (2 bytes), column (2) and XF index (2).
#include <algorithm>
#include <bit>
#include <map>
#include <optional>
#include <string>

#include "engine/base/bytes.h"
#include "engine/text/case_fold.h"
#include "engine/text/code_page.h"
#include "engine/base/error.h"
#include "engine/excel/biff_records.h"
#include "engine/excel/cell_formats.h"
#include "engine/excel/workbook.h"

namespace engine::excel {
namespace {

constexpr uint16_t kBiff5 = 0x0500;
constexpr uint16_t kBiff8 = 0x0600;
constexpr uint16_t kBofGlobals = 0x0005;
constexpr uint16_t kBofWorksheet = 0x0010;
constexpr uint8_t kSheetKindWorksheet = 0;
constexpr uint16_t kMaxColumns = 256;  // columns A to IV
constexpr double kLastExcelDay = 2958466;  // serial of 10000-01-01
constexpr size_t kNoCell = SIZE_MAX;

[[noreturn]] void Damaged(const std::string& what) {
  throw Error("", "the workbook file is damaged (" + what + ")", ErrorKind::Damaged);
}

struct SheetEntry {
  uint32_t offset = 0;
  bool is_worksheet = false;
  std::u16string name;
};

// A defined name as read, before its sheet reference is resolved.
struct PendingName {
  std::u16string name;
  uint16_t sheet_ref = 0;  // BIFF8: index into EXTERNSHEET; BIFF5: the sheet number itself
  CellRange range;
};

struct SheetReference {
  uint16_t supbook = 0;
  uint16_t first_sheet = 0;
  uint16_t last_sheet = 0;
};

// Excel's own names, when a writer spelled them out instead of marking them built-in.
bool IsHiddenBuiltInName(std::u16string_view name) {
  const std::u16string folded = FoldCase(name);
  return folded.starts_with(u"_xlnm.") || folded == u"_filterdatabase" || folded == u"print_area" ||
         folded == u"print_titles";
}

// A sheet's cell records against its DIMENSIONS record (first row, the row after the last,
// first column, the column after the last), and each against the length its kind has. Records
// lost, or read out of step after a damaged length, show here: cells that stop short of the
// rows DIMENSIONS gives (a sector zeroed or overwritten), a cell far outside them (a row
// number overwritten), a record of the wrong length. Writers that give too few rows by one
// (the last row or column itself rather than the one after it) are tolerated, as Excel does;
// so are sheets without DIMENSIONS or with an empty range in it.
class SheetExtent {
 public:
  explicit SheetExtent(bool biff8) : biff8_(biff8) {}

  // Throws (damaged) for a record whose length its kind cannot have.
  void Note(uint16_t type, std::span<const uint8_t> data) {
    if (type == record::kDimensions) {
      NoteDimensions(data);
      return;
    }
    const std::optional<CellSpan> cells = CellsOf(type, data);
    if (!cells) return;
    if (!first_cell_) first_cell_ = *cells;
    first_cell_->row = std::min(first_cell_->row, cells->row);
    first_cell_->first_column = std::min(first_cell_->first_column, cells->first_column);
    rows_end_ = std::max(rows_end_, cells->row + 1);
    columns_end_ = std::max(columns_end_, cells->last_column + 1);
  }

  // Throws (damaged) when the cells and the dimensions disagree. At the sheet's EOF.
  void Check() const {
    if (!dimensions_ || !first_cell_) return;
    const Dimensions& d = *dimensions_;
    if (rows_end_ < d.rows_end) Damaged("a sheet's cells stop before the rows its dimensions record gives");
    if (first_cell_->row < d.first_row || first_cell_->first_column < d.first_column ||
        rows_end_ > uint64_t{d.rows_end} + 1 || columns_end_ > d.columns_end + 1u) {
      Damaged("a sheet's cells lie outside the rows and columns its dimensions record gives");
    }
  }

 private:
  struct Dimensions {
    uint32_t first_row = 0, rows_end = 0;
    uint16_t first_column = 0, columns_end = 0;
  };
  struct CellSpan {
    uint32_t row = 0, first_column = 0, last_column = 0;
  };

  void NoteDimensions(std::span<const uint8_t> data) {
    // u32 rows in BIFF8, u16 in BIFF5; then two u16 columns and a reserved u16.
    const size_t size = biff8_ ? 14 : 10;
    if (data.size() != size) Damaged("a sheet's dimensions record has the wrong length");
    Dimensions d;
    const uint8_t* p = data.data();
    d.first_row = biff8_ ? GetU32(p) : GetU16(p);
    d.rows_end = biff8_ ? GetU32(p + 4) : GetU16(p + 2);
    p += biff8_ ? 8 : 4;
    d.first_column = GetU16(p);
    d.columns_end = GetU16(p + 2);
    // An empty range (Excel writes all zeros for an empty sheet) says nothing of the cells.
    if (d.rows_end <= d.first_row || d.columns_end <= d.first_column) return;
    dimensions_ = d;
  }

  // The cells a cell record covers (row, then first column, at its start); nothing for a
  // record that is no cell. Fixed-size cells must have their size exactly, rows of cells
  // (MULRK: XF + RK each, MULBLANK: XF each, then the last column) a whole number of cells.
  static std::optional<CellSpan> CellsOf(uint16_t type, std::span<const uint8_t> data) {
    constexpr size_t kCellHeader = 6;  // row, column, XF index
    size_t exact = 0, per_cell = 0;
    switch (type) {
      case record::kBlank: exact = kCellHeader; break;
      case record::kRk: case record::kLabelSst: exact = kCellHeader + 4; break;
      case record::kNumber: exact = kCellHeader + 8; break;
      case record::kMulRk: per_cell = 6; break;
      case record::kMulBlank: per_cell = 2; break;
      // Read field by field, which meets a record too short for them.
      case record::kLabel: case record::kRString: case record::kBoolErr: case record::kFormula: break;
      default: return std::nullopt;
    }
    const size_t size = data.size();
    if (exact != 0 && size != exact) Damaged("a cell record has the wrong length");
    constexpr size_t kRowOfCellsHeader = 4 + 2;  // row, first column; the last column at the end
    if (per_cell != 0 && (size < kRowOfCellsHeader + per_cell || (size - kRowOfCellsHeader) % per_cell != 0)) {
      Damaged("a row of cells has the wrong length");
    }
    if (size < 4) return std::nullopt;  // read, and refused, as the record is read
    CellSpan span;
    span.row = GetU16(data.data());
    span.first_column = GetU16(data.data() + 2);
    span.last_column = span.first_column;
    if (per_cell != 0) span.last_column += static_cast<uint32_t>((size - kRowOfCellsHeader) / per_cell - 1);
    return span;
  }

  bool biff8_;
  std::optional<Dimensions> dimensions_;
  std::optional<CellSpan> first_cell_;  // the lowest row and the lowest column met
  uint32_t rows_end_ = 0;               // the row after the last cell's
  uint32_t columns_end_ = 0;            // the column after the rightmost cell's
};

class Parser {
 public:
  explicit Parser(std::span<const uint8_t> stream) : records_(stream) {}

  Workbook Parse() {
    ReadGlobals();
    std::vector<std::optional<size_t>> sheet_index(sheet_entries_.size());
    for (size_t i = 0; i < sheet_entries_.size(); ++i) {
      if (!sheet_entries_[i].is_worksheet) continue;
      Worksheet sheet;
      sheet.name = sheet_entries_[i].name;
      if (ReadWorksheet(sheet_entries_[i].offset, sheet)) {
        sheet_index[i] = book_.sheets.size();
        book_.sheets.push_back(std::move(sheet));
      }
    }
    ResolveNames(sheet_index);
    return std::move(book_);
  }

 private:
  bool biff8() const { return version_ == kBiff8; }

  std::u16string ByteText(RecordReader& in, size_t count) { return DecodeCodePage(in.Bytes(count), code_page_); }

  void ReadGlobals() {
    if (!records_.Next()) Damaged("empty workbook stream");
    switch (records_.type()) {
      case record::kBof:
        break;
      case record::kBofBiff2:
      case record::kBofBiff3:
      case record::kBofBiff4:
        throw Error("", "the workbook is in Excel 2.x-4.0 format, which cannot be read; save it as Excel 97-2003",
                    ErrorKind::UnsupportedFormat);
      default:
        throw Error("", "the file is not an Excel workbook", ErrorKind::Damaged);
    }
    RecordReader bof = records_.Reader();
    version_ = bof.U16();
    uint16_t kind = bof.U16();
    if (version_ != kBiff8 && version_ != kBiff5) {
      throw Error("", "the workbook is in an Excel format older than Excel 5.0, which cannot be read",
                  ErrorKind::UnsupportedFormat);
    }
    if (kind != kBofGlobals) Damaged("the workbook does not start with its global part");
    while (records_.Next()) {
      RecordReader in = records_.Reader();
      switch (records_.type()) {
        case record::kEof:
          FinishFormats();
          return;
        case record::kFilePass:
          throw Error("", "the workbook is encrypted with a password; save it without a password and try again",
                      ErrorKind::Protected);
        case record::kCodePage:
          code_page_ = in.U16();
          break;
        case record::kDateMode:
          book_.date1904 = in.U16() != 0;
          break;
        case record::kBoundSheet:
          ReadBoundSheet(in);
          break;
        case record::kSst:
          if (biff8()) ReadSharedStrings(in);
          break;
        case record::kFormat:
          ReadFormat(in);
          break;
        case record::kXf:
          in.Skip(2);  // font index
          xf_formats_.push_back(in.U16());
          break;
        case record::kName:
          try {
            ReadName(in);
          } catch (const Error&) {
            // A name that does not hold together is left out; the sheets are still readable.
          }
          break;
        case record::kSupBook:
          // The workbook's own sheets: a sheet count and the marker 0x0401, nothing else.
          if (in.Remaining() == 4) {
            in.U16();  // sheet count
            supbook_is_internal_.push_back(in.U16() == 0x0401);
          } else {
            supbook_is_internal_.push_back(false);
          }
          break;
        case record::kExternSheet:
          if (biff8()) ReadExternSheet(in);
          break;
        default:
          break;
      }
    }
    Damaged("the global part has no end");
  }

  void ReadBoundSheet(RecordReader& in) {
    SheetEntry entry;
    entry.offset = in.U32();
    in.U8();  // visibility: hidden sheets are tables too
    entry.is_worksheet = in.U8() == kSheetKindWorksheet;
    entry.name = biff8() ? in.UnicodeString(1) : ByteText(in, in.U8());
    sheet_entries_.push_back(std::move(entry));
  }

  void ReadSharedStrings(RecordReader& in) {
    in.U32();  // total references
    uint32_t unique = in.U32();
    // Each string takes at least 3 bytes (so the declared count cannot reserve more than
    // the record holds)
    // and at least one byte per character, so the record's size bounds what to reserve.
    book_.texts.Reserve(std::min<size_t>(unique, in.Remaining() / 3), in.Remaining());
    for (uint32_t i = 0; i < unique && in.Remaining() > 0; ++i) {
      book_.texts.AddAppended([&in](std::u16string& chars) { in.AppendRichExtendedString(chars); });
    }
    shared_string_count_ = book_.texts.size();
  }

  void ReadFormat(RecordReader& in) {
    uint16_t index = in.U16();
    std::u16string text = biff8() ? in.UnicodeString(2) : ByteText(in, in.U8());
    format_is_date_[index] = IsDateFormatText(text);
  }

  void FinishFormats() {
    xf_is_date_.reserve(xf_formats_.size());
    for (uint16_t format : xf_formats_) {
      auto defined = format_is_date_.find(format);
      xf_is_date_.push_back(defined != format_is_date_.end() ? defined->second : IsBuiltInDateFormat(format));
    }
  }

  void ReadExternSheet(RecordReader& in) {
    uint16_t count = in.U16();
    for (uint16_t i = 0; i < count; ++i) {
      SheetReference ref;
      ref.supbook = in.U16();
      ref.first_sheet = in.U16();
      ref.last_sheet = in.U16();
      sheet_references_.push_back(ref);
    }
  }

  void ReadName(RecordReader& in) {
    constexpr uint16_t kHidden = 0x0001, kFunctionOrMacro = 0x000E, kBuiltIn = 0x0020;
    uint16_t flags = in.U16();
    in.U8();  // keyboard shortcut
    uint8_t length = in.U8();
    uint16_t formula_size = in.U16();
    in.U16();
    uint16_t local_sheet = in.U16();
    in.Skip(4);  // lengths of menu, description, help and status texts
    std::u16string name;
    if (biff8()) {
      bool wide = (in.U8() & 0x01) != 0;
      name = in.Chars(length, wide);
    } else {
      name = ByteText(in, length);
    }
    if ((flags & (kHidden | kFunctionOrMacro | kBuiltIn)) || local_sheet != 0 || IsHiddenBuiltInName(name)) return;
    if (formula_size == 0 || formula_size > in.Remaining()) return;
    // Only a name that is exactly one 3-D reference to a cell or a range is a table.
    uint8_t token = in.U8();
    uint8_t base = token & 0x1F;  // the token class lives in bits 5-6
    constexpr uint8_t kRef3d = 0x1A, kArea3d = 0x1B;
    PendingName pending;
    pending.name = std::move(name);
    if (biff8()) {
      if (base == kRef3d && formula_size == 7) {
        pending.sheet_ref = in.U16();
        pending.range.first_row = pending.range.last_row = in.U16();
        pending.range.first_column = pending.range.last_column = in.U16() & 0x3FFF;
      } else if (base == kArea3d && formula_size == 11) {
        pending.sheet_ref = in.U16();
        pending.range.first_row = in.U16();
        pending.range.last_row = in.U16();
        pending.range.first_column = in.U16() & 0x3FFF;
        pending.range.last_column = in.U16() & 0x3FFF;
      } else {
        return;
      }
    } else {
      // BIFF5: a link index (negative: this workbook), 8 reserved bytes, the first and
      // last sheet, then rows (2 bytes each) and columns (1 byte each).
      bool area = base == kArea3d && formula_size == 21;
      if (!(area || (base == kRef3d && formula_size == 18))) return;
      int16_t link = static_cast<int16_t>(in.U16());
      in.Skip(8);
      uint16_t first_sheet = in.U16();
      uint16_t last_sheet = in.U16();
      if (link >= 0 || first_sheet != last_sheet) return;
      pending.sheet_ref = first_sheet;
      // BIFF5 keeps the relative-reference flags in the top two bits of the row.
      pending.range.first_row = in.U16() & 0x3FFF;
      pending.range.last_row = area ? in.U16() & 0x3FFF : pending.range.first_row;
      pending.range.first_column = in.U8();
      pending.range.last_column = area ? in.U8() : pending.range.first_column;
    }
    CellRange& r = pending.range;
    if (r.first_row > r.last_row || r.first_column > r.last_column || r.last_column >= kMaxColumns) return;
    pending_names_.push_back(std::move(pending));
  }

  void ResolveNames(const std::vector<std::optional<size_t>>& sheet_index) {
    for (PendingName& pending : pending_names_) {
      size_t sheet_number = pending.sheet_ref;
      if (biff8()) {
        if (pending.sheet_ref >= sheet_references_.size()) continue;
        const SheetReference& ref = sheet_references_[pending.sheet_ref];
        bool internal = ref.supbook < supbook_is_internal_.size() ? supbook_is_internal_[ref.supbook]
                                                                   : supbook_is_internal_.empty();
        if (!internal || ref.first_sheet != ref.last_sheet) continue;
        sheet_number = ref.first_sheet;
      }
      if (sheet_number >= sheet_index.size() || !sheet_index[sheet_number]) continue;
      book_.names.push_back(DefinedName{std::move(pending.name), *sheet_index[sheet_number], pending.range});
    }
  }

  // Reads one worksheet's cells. False when the offset does not lead to a worksheet.
  bool ReadWorksheet(uint32_t offset, Worksheet& sheet) {
    RefuseSheetsSharingRecords(offset, offset);
    records_.Seek(offset);
    if (!records_.Next() || records_.type() != record::kBof) Damaged("a sheet is not where the sheet list says");
    RecordReader bof = records_.Reader();
    bof.U16();
    if (bof.U16() != kBofWorksheet) return false;
    sheet.cells.reserve(CountCells());
    records_.Seek(offset);
    records_.Next();
    std::vector<CellRange> merged;
    size_t pending_text = kNoCell;  // a formula whose text result follows in STRING
    int depth = 0;
    bool ended = false;
    SheetExtent extent(biff8());
    while (records_.Next()) {
      uint16_t type = records_.type();
      if (type == record::kBof) {
        ++depth;
        continue;
      }
      if (type == record::kEof) {
        if (depth-- == 0) {
          ended = true;
          break;
        }
        continue;
      }
      if (depth > 0) continue;
      extent.Note(type, records_.Data());
      RecordReader in = records_.Reader();
      switch (type) {
        case record::kLabelSst: {
          Cell cell = CellHeader(in);
          uint32_t index = in.U32();
          if (!biff8() || index >= shared_string_count_) Damaged("a cell refers to a missing shared text");
          cell.kind = CellKind::Text;
          cell.text = index;
          Add(sheet, cell);
          break;
        }
        case record::kLabel:
        case record::kRString: {
          Cell cell = CellHeader(in);
          AddText(sheet, cell, biff8() ? in.UnicodeString(2) : ByteText(in, in.U16()));
          break;
        }
        case record::kNumber: {
          Cell cell = CellHeader(in);
          AddNumber(sheet, cell, in.F64());
          break;
        }
        case record::kRk: {
          Cell cell = CellHeader(in);
          AddNumber(sheet, cell, DecodeRk(in.U32()));
          break;
        }
        case record::kMulRk: {
          uint16_t row = in.U16();
          uint16_t column = in.U16();
          constexpr size_t kEntrySize = 6;  // XF index + RK number
          size_t entries = in.Remaining() < 2 ? 0 : (in.Remaining() - 2) / kEntrySize;
          for (size_t i = 0; i < entries; ++i, ++column) {
            Cell cell;
            cell.row = row;
            cell.column = column;
            xf_ = in.U16();
            AddNumber(sheet, cell, DecodeRk(in.U32()));
          }
          break;
        }
        case record::kBoolErr: {
          Cell cell = CellHeader(in);
          uint8_t value = in.U8();
          bool is_error = in.U8() != 0;
          cell.kind = is_error ? CellKind::Error : CellKind::Flag;
          cell.flag = value != 0;
          Add(sheet, cell);
          break;
        }
        case record::kFormula:
          pending_text = ReadFormula(in, sheet);
          break;
        case record::kString:
          if (pending_text != kNoCell) {
            Cell& cell = sheet.cells[pending_text];
            cell.kind = CellKind::Text;
            cell.text = book_.texts.Add(biff8() ? in.UnicodeString(2) : ByteText(in, in.U16()));
            pending_text = kNoCell;
          }
          break;
        case record::kMergedCells: {
          uint16_t count = in.U16();
          for (uint16_t i = 0; i < count; ++i) {
            CellRange range;
            range.first_row = in.U16();
            range.last_row = in.U16();
            range.first_column = in.U16();
            range.last_column = in.U16();
            merged.push_back(range);
          }
          break;
        }
        default:
          break;
      }
    }
    if (!ended) Damaged("a sheet's records stop before its end");
    RefuseSheetsSharingRecords(offset, records_.end());
    sheets_read_[offset] = records_.end();
    extent.Check();
    Tidy(sheet, merged);
    return true;
  }

  // Each worksheet has records of its own. A sheet list that leads twice into the same
  // records (a damaged offset, or a forged list of thousands of entries) would have them read
  // and kept once per entry: memory and time beyond anything the stream holds.
  void RefuseSheetsSharingRecords(size_t begin, size_t end) const {
    auto after = sheets_read_.upper_bound(begin);
    const bool inside_earlier = after != sheets_read_.begin() && std::prev(after)->second > begin;
    const bool holds_later = after != sheets_read_.end() && after->first < end;
    if (inside_earlier || holds_later) {
      Damaged("two sheets of the sheet list share their records");
    }
  }

  // How many cells the sheet's records hold (from the record after its BOF), so that the
  // cell list is allocated once, at its final size.
  size_t CountCells() {
    size_t count = 0;
    int depth = 0;
    while (records_.Next()) {
      uint16_t type = records_.type();
      if (type == record::kBof) ++depth;
      if (type == record::kEof && depth-- == 0) break;
      switch (type) {
        case record::kLabelSst: case record::kLabel: case record::kRString: case record::kNumber:
        case record::kRk: case record::kBoolErr: case record::kFormula:
          ++count;
          break;
        case record::kMulRk:
          count += records_.Data().size() / 6;
          break;
        default:
          break;
      }
    }
    return count;
  }

  // The result a formula cell last showed. A text result comes in the next STRING record:
  // the cell is added as an error (Null) now and its index returned to be filled in.
  size_t ReadFormula(RecordReader& in, Worksheet& sheet) {
    Cell cell = CellHeader(in);
    uint8_t result[8];
    for (uint8_t& b : result) b = in.U8();
    if (GetU16(result + 6) != 0xFFFF) {
      AddNumber(sheet, cell, GetF64(result));
      return kNoCell;
    }
    constexpr uint8_t kText = 0, kFlag = 1, kEmptyText = 3;
    switch (result[0]) {
      case kText:
        cell.kind = CellKind::Error;
        return Add(sheet, cell) ? sheet.cells.size() - 1 : kNoCell;
      case kFlag:
        cell.kind = CellKind::Flag;
        cell.flag = result[2] != 0;
        break;
      case kEmptyText:
        AddText(sheet, cell, u"");
        return kNoCell;
      default:
        cell.kind = CellKind::Error;
        break;
    }
    Add(sheet, cell);
    return kNoCell;
  }

  Cell CellHeader(RecordReader& in) {
    Cell cell;
    cell.row = in.U16();
    cell.column = in.U16();
    xf_ = in.U16();
    return cell;
  }

  static double DecodeRk(uint32_t rk) {
    // Bit 0: divide by 100; bit 1: a 30-bit signed integer, else the top 30 bits of a double.
    double value;
    if (rk & 0x02) {
      value = static_cast<double>(static_cast<int32_t>(rk) >> 2);
    } else {
      value = std::bit_cast<double>(static_cast<uint64_t>(rk & 0xFFFFFFFC) << 32);
    }
    return (rk & 0x01) ? value / 100 : value;
  }


  void AddNumber(Worksheet& sheet, Cell cell, double value) {
    bool date_format = xf_ < xf_is_date_.size() && xf_is_date_[xf_];
    cell.kind = date_format && value >= 0 && value < kLastExcelDay ? CellKind::Date : CellKind::Number;
    cell.number = value;
    Add(sheet, cell);
  }

  void AddText(Worksheet& sheet, Cell cell, std::u16string_view text) {
    cell.kind = CellKind::Text;
    cell.text = book_.texts.Add(text);
    Add(sheet, cell);
  }

  static bool Add(Worksheet& sheet, const Cell& cell) {
    if (cell.column >= kMaxColumns) return false;
    sheet.cells.push_back(cell);
    return true;
  }

  // Marks the cells that merged ranges cover, other than each range's top-left one, in one
  // pass down the rows: a count per column says how many open ranges cover it. The work is
  // the cells plus the ranges' widths, however the ranges overlap.
  static void DropCoveredByMerges(const std::vector<Cell>& cells, const std::vector<CellRange>& merged,
                                  std::vector<bool>& drop) {
    std::vector<CellRange> by_start;
    for (const CellRange& range : merged) {
      if (range.first_row > range.last_row || range.first_column > range.last_column ||
          range.first_column >= kMaxColumns) {
        continue;
      }
      CellRange clipped = range;
      clipped.last_column = std::min<uint16_t>(clipped.last_column, kMaxColumns - 1);
      by_start.push_back(clipped);
    }
    if (by_start.empty()) return;
    std::vector<CellRange> by_end = by_start;
    std::sort(by_start.begin(), by_start.end(), [](auto& a, auto& b) { return a.first_row < b.first_row; });
    std::sort(by_end.begin(), by_end.end(), [](auto& a, auto& b) { return a.last_row < b.last_row; });
    std::vector<std::pair<uint16_t, uint16_t>> top_lefts;
    for (const CellRange& range : by_start) top_lefts.emplace_back(range.first_row, range.first_column);
    std::sort(top_lefts.begin(), top_lefts.end());
    std::vector<uint32_t> coverage(kMaxColumns, 0);
    size_t next_start = 0, next_end = 0;
    for (size_t i = 0; i < cells.size(); ++i) {
      uint16_t row = cells[i].row;
      for (; next_start < by_start.size() && by_start[next_start].first_row <= row; ++next_start) {
        for (uint32_t c = by_start[next_start].first_column; c <= by_start[next_start].last_column; ++c) ++coverage[c];
      }
      for (; next_end < by_end.size() && by_end[next_end].last_row < row; ++next_end) {
        for (uint32_t c = by_end[next_end].first_column; c <= by_end[next_end].last_column; ++c) --coverage[c];
      }
      if (coverage[cells[i].column] > 0 &&
          !std::binary_search(top_lefts.begin(), top_lefts.end(), std::make_pair(row, cells[i].column))) {
        drop[i] = true;
      }
    }
  }

  // Orders the cells, keeps the last of any two at one position and blanks the covered
  // parts of merged ranges.
  static void Tidy(Worksheet& sheet, const std::vector<CellRange>& merged) {
    auto before = [](const Cell& a, const Cell& b) {
      return a.row != b.row ? a.row < b.row : a.column < b.column;
    };
    std::vector<Cell>& cells = sheet.cells;
    if (!std::is_sorted(cells.begin(), cells.end(), before)) std::stable_sort(cells.begin(), cells.end(), before);
    std::vector<bool> drop(cells.size(), false);
    for (size_t i = 0; i + 1 < cells.size(); ++i) {
      if (cells[i].row == cells[i + 1].row && cells[i].column == cells[i + 1].column) drop[i] = true;
    }
    DropCoveredByMerges(cells, merged, drop);
    size_t kept = 0;
    for (size_t i = 0; i < cells.size(); ++i) {
      if (!drop[i]) cells[kept++] = cells[i];
    }
    cells.resize(kept);
  }

  RecordStream records_;
  Workbook book_;
  uint16_t version_ = kBiff8;
  uint16_t code_page_ = 1252;
  uint16_t xf_ = 0;  // XF index of the cell being read
  size_t shared_string_count_ = 0;
  std::vector<SheetEntry> sheet_entries_;
  std::map<size_t, size_t> sheets_read_;  // the worksheets read: where each begins and ends
  std::map<uint16_t, bool> format_is_date_;
  std::vector<uint16_t> xf_formats_;
  std::vector<bool> xf_is_date_;
  std::vector<bool> supbook_is_internal_;
  std::vector<SheetReference> sheet_references_;
  std::vector<PendingName> pending_names_;
};

}  // namespace

Value Workbook::CellValue(const Cell& cell) const {
  switch (cell.kind) {
    case CellKind::Number:
      return Value::Double(cell.number);
    case CellKind::Date:
      return Value::DateTime(SerialToDate(cell.number, date1904));
    case CellKind::Text:
      return Value::Text(std::u16string(texts[cell.text]));
    case CellKind::Flag:
      return Value::Flag(cell.flag);
    case CellKind::Error:
      break;
  }
  return Value::Null();
}

Workbook ParseWorkbook(std::span<const uint8_t> stream) { return Parser(stream).Parse(); }

}  // namespace engine::excel
