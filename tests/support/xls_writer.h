// A small writer of BIFF8 workbooks in a compound file, for tests, benchmarks and fuzzing
// seeds: it makes exactly the records the reader looks at (and lets a test add odd ones),
// so that each rule can be checked on a workbook built for it. Header-only, because test
// programs are built from *_test.cpp files alone.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

using Bytes = std::vector<uint8_t>;

inline void PutU8(Bytes& b, uint32_t v) { b.push_back(static_cast<uint8_t>(v)); }
inline void PutU16(Bytes& b, uint32_t v) {
  PutU8(b, v & 0xFF);
  PutU8(b, (v >> 8) & 0xFF);
}
inline void PutU32(Bytes& b, uint32_t v) {
  PutU16(b, v & 0xFFFF);
  PutU16(b, v >> 16);
}
inline void PutF64(Bytes& b, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  PutU32(b, static_cast<uint32_t>(bits));
  PutU32(b, static_cast<uint32_t>(bits >> 32));
}
inline void SetU32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

inline bool NeedsWide(const std::u16string& text) {
  for (char16_t c : text) {
    if (c > 0xFF) return true;
  }
  return false;
}

inline void PutChars(Bytes& b, const std::u16string& text, bool wide) {
  for (char16_t c : text) wide ? PutU16(b, c) : PutU8(b, c);
}

// Appends one record (type, length, data) to a stream.
inline void PutRecord(Bytes& stream, uint16_t type, const Bytes& data) {
  PutU16(stream, type);
  PutU16(stream, static_cast<uint32_t>(data.size()));
  stream.insert(stream.end(), data.begin(), data.end());
}

// Builds a record that may run on into CONTINUE records, splitting text the way Excel
// does: a string header is never split, and characters that go on in a CONTINUE record
// are preceded there by a width flag.
class ContinuedRecord {
 public:
  ContinuedRecord(uint16_t type, size_t max_part = 8224) : type_(type), max_part_(max_part) { parts_.emplace_back(); }

  // Bytes that must stay together in one part.
  void Whole(const Bytes& bytes) {
    if (parts_.back().size() + bytes.size() > max_part_) parts_.emplace_back();
    parts_.back().insert(parts_.back().end(), bytes.begin(), bytes.end());
  }
  // Characters that may be split; `second_part_wide` lets a test switch widths after a split.
  void Chars(const std::u16string& text, bool wide, bool continue_wide) {
    size_t i = 0;
    while (i < text.size()) {
      size_t width = wide ? 2 : 1;
      size_t room = (max_part_ - parts_.back().size()) / width;
      if (room == 0) {
        parts_.emplace_back();
        wide = continue_wide;
        PutU8(parts_.back(), wide ? 1 : 0);
        continue;
      }
      size_t take = std::min(room, text.size() - i);
      PutChars(parts_.back(), text.substr(i, take), wide);
      i += take;
    }
  }
  // An XLUnicodeRichExtendedString as in the shared string table (no runs, no phonetics).
  void SharedString(const std::u16string& text, bool continue_wide = false) {
    bool wide = NeedsWide(text);
    Bytes header;
    PutU16(header, static_cast<uint32_t>(text.size()));
    PutU8(header, wide ? 1 : 0);
    Whole(header);
    Chars(text, wide, wide || continue_wide);
  }
  void WriteTo(Bytes& stream) const {
    for (size_t i = 0; i < parts_.size(); ++i) PutRecord(stream, i == 0 ? type_ : 0x003C, parts_[i]);
  }

 private:
  uint16_t type_;
  size_t max_part_;
  std::vector<Bytes> parts_;
};

// Wraps streams in a version 3 (512-byte sectors) or 4 (4096-byte sectors) compound file
// as top-level streams. Streams shorter than the 4096-byte mini stream cutoff are padded
// to it, so that no mini stream is needed.
inline Bytes WrapStreamsInCompoundFile(std::vector<std::pair<std::u16string, Bytes>> streams, int sector_shift = 9) {
  const uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF, kFatSector = 0xFFFFFFFD, kDifatSector = 0xFFFFFFFC;
  const size_t sector = size_t{1} << sector_shift;
  if (streams.size() > 3) throw std::runtime_error("at most three streams in the test writer");
  std::vector<uint32_t> sizes, starts;
  size_t data_sectors = 0;
  for (auto& [name, stream] : streams) {
    if (stream.size() < 4096) stream.resize(4096, 0);
    sizes.push_back(static_cast<uint32_t>(stream.size()));
    starts.push_back(static_cast<uint32_t>(data_sectors));
    data_sectors += (stream.size() + sector - 1) / sector;
    stream.resize(((stream.size() + sector - 1) / sector) * sector, 0);
  }
  // The header lists the first 109 FAT sectors; DIFAT sectors after the FAT list the rest,
  // a sector's worth less one, then the next DIFAT sector.
  const size_t entries_per_fat = sector / 4, header_difat = 109, entries_per_difat = entries_per_fat - 1;
  size_t fat_sectors = 1, difat_sectors = 0;
  for (;;) {
    difat_sectors =
        fat_sectors > header_difat ? (fat_sectors - header_difat + entries_per_difat - 1) / entries_per_difat : 0;
    if ((data_sectors + 1 + fat_sectors + difat_sectors + entries_per_fat - 1) / entries_per_fat <= fat_sectors) break;
    ++fat_sectors;
  }
  uint32_t dir_sector = static_cast<uint32_t>(data_sectors);
  uint32_t first_fat = dir_sector + 1;
  uint32_t first_difat = first_fat + static_cast<uint32_t>(fat_sectors);

  Bytes file(sector, 0);  // header, padded to one sector
  const uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::memcpy(file.data(), signature, 8);
  auto set16 = [&](size_t at, uint16_t v) { file[at] = static_cast<uint8_t>(v), file[at + 1] = static_cast<uint8_t>(v >> 8); };
  set16(0x18, 0x003E);
  set16(0x1A, sector_shift == 12 ? 4 : 3);
  set16(0x1C, 0xFFFE);
  set16(0x1E, static_cast<uint16_t>(sector_shift));
  set16(0x20, 6);
  SetU32(file, 0x2C, static_cast<uint32_t>(fat_sectors));
  SetU32(file, 0x30, dir_sector);
  SetU32(file, 0x38, 4096);
  SetU32(file, 0x3C, kEnd);
  SetU32(file, 0x44, difat_sectors ? first_difat : kEnd);
  SetU32(file, 0x48, static_cast<uint32_t>(difat_sectors));
  for (size_t i = 0; i < header_difat; ++i)
    SetU32(file, 0x4C + 4 * i, i < fat_sectors ? first_fat + uint32_t(i) : kFree);
  for (const auto& [name, stream] : streams) file.insert(file.end(), stream.begin(), stream.end());

  // The root's child is the first stream; each further stream is the right sibling of
  // the one before.
  Bytes directory(sector, 0);
  auto entry = [&](size_t index, const std::u16string& entry_name, uint8_t type, uint32_t right, uint32_t child,
                   uint32_t start, uint32_t size) {
    uint8_t* e = directory.data() + 128 * index;
    for (size_t i = 0; i < entry_name.size(); ++i) e[2 * i] = static_cast<uint8_t>(entry_name[i]), e[2 * i + 1] = static_cast<uint8_t>(entry_name[i] >> 8);
    e[0x40] = static_cast<uint8_t>(2 * (entry_name.size() + 1));
    e[0x42] = type;
    e[0x43] = 1;
    std::memset(e + 0x44, 0xFF, 4);
    for (int i = 0; i < 4; ++i) e[0x48 + i] = static_cast<uint8_t>(right >> (8 * i));
    for (int i = 0; i < 4; ++i) e[0x4C + i] = static_cast<uint8_t>(child >> (8 * i));
    for (int i = 0; i < 4; ++i) e[0x74 + i] = static_cast<uint8_t>(start >> (8 * i));
    for (int i = 0; i < 4; ++i) e[0x78 + i] = static_cast<uint8_t>(size >> (8 * i));
  };
  entry(0, u"Root Entry", 5, kFree, 1, kEnd, 0);
  for (size_t i = 0; i < streams.size(); ++i) {
    uint32_t right = i + 1 < streams.size() ? static_cast<uint32_t>(i + 2) : kFree;
    entry(i + 1, streams[i].first, 2, right, kFree, starts[i], sizes[i]);
  }
  file.insert(file.end(), directory.begin(), directory.end());

  Bytes fat;
  for (size_t i = 0; i < streams.size(); ++i) {
    size_t count = streams[i].second.size() / sector;
    for (size_t k = 0; k < count; ++k) PutU32(fat, k + 1 == count ? kEnd : uint32_t(starts[i] + k + 1));
  }
  PutU32(fat, kEnd);  // the directory
  for (size_t i = 0; i < fat_sectors; ++i) PutU32(fat, kFatSector);
  for (size_t i = 0; i < difat_sectors; ++i) PutU32(fat, kDifatSector);
  fat.resize(fat_sectors * sector, 0xFF);
  file.insert(file.end(), fat.begin(), fat.end());
  Bytes difat;
  for (size_t d = 0; d < difat_sectors; ++d) {
    for (size_t i = 0; i < entries_per_difat; ++i) {
      const size_t listed = header_difat + d * entries_per_difat + i;
      PutU32(difat, listed < fat_sectors ? first_fat + uint32_t(listed) : kFree);
    }
    PutU32(difat, d + 1 < difat_sectors ? first_difat + uint32_t(d + 1) : kEnd);
  }
  file.insert(file.end(), difat.begin(), difat.end());
  return file;
}

inline Bytes WrapInCompoundFile(Bytes stream, const std::u16string& name = u"Workbook", int sector_shift = 9) {
  return WrapStreamsInCompoundFile({{name, std::move(stream)}}, sector_shift);
}

// A BIFF8 workbook made cell by cell.
class WorkbookWriter {
 public:
  static constexpr uint16_t kGeneralXf = 0;
  static constexpr uint16_t kDateXf = 1;      // built-in format 14 (d/m/yyyy)
  static constexpr uint16_t kTimeXf = 2;      // built-in format 20 (h:mm)
  static constexpr uint16_t kPercentXf = 3;   // built-in format 9 (0%)

  void SetDate1904(bool on) { date1904_ = on; }
  // Excel 5.0/95 records: 8-bit texts in code page 1252, inline in LABEL records (no shared
  // string table), no merged ranges.
  void SetBiff5(bool on) { biff5_ = on; }
  void SetEncrypted(bool on) { encrypted_ = on; }
  // Long shared strings are split at this record size (8224 in Excel's files).
  void SetMaxRecordSize(size_t size) { max_record_ = size; }

  // An XF with a custom number format; returns its index.
  uint16_t AddFormat(const std::u16string& format) {
    formats_.push_back(format);
    xf_formats_.push_back(static_cast<uint16_t>(163 + formats_.size()));
    return static_cast<uint16_t>(xf_formats_.size() - 1);
  }

  size_t AddSheet(const std::u16string& name, uint8_t kind = 0) {
    sheets_.push_back(Sheet{name, kind, {}, {}});
    return sheets_.size() - 1;
  }

  void Text(size_t sheet, int row, int col, const std::u16string& text) {
    if (biff5_) return InlineText(sheet, row, col, text);
    Bytes d = CellHeader(row, col, kGeneralXf);
    PutU32(d, SharedIndex(text));
    Cell(sheet, 0x00FD, d);
  }
  // A LABEL record with the text inline (as some writers produce).
  void InlineText(size_t sheet, int row, int col, const std::u16string& text) {
    Bytes d = CellHeader(row, col, kGeneralXf);
    PutText(d, text, 2);
    Cell(sheet, 0x0204, d);
  }
  void Number(size_t sheet, int row, int col, double value, uint16_t xf = kGeneralXf) {
    Bytes d = CellHeader(row, col, xf);
    PutF64(d, value);
    Cell(sheet, 0x0203, d);
  }
  void Rk(size_t sheet, int row, int col, uint32_t rk, uint16_t xf = kGeneralXf) {
    Bytes d = CellHeader(row, col, xf);
    PutU32(d, rk);
    Cell(sheet, 0x027E, d);
  }
  void MulRk(size_t sheet, int row, int first_col, const std::vector<uint32_t>& rks, uint16_t xf = kGeneralXf) {
    Bytes d;
    PutU16(d, row);
    PutU16(d, first_col);
    for (uint32_t rk : rks) PutU16(d, xf), PutU32(d, rk);
    PutU16(d, first_col + static_cast<int>(rks.size()) - 1);
    Cell(sheet, 0x00BD, d);
  }
  void Date(size_t sheet, int row, int col, double serial, uint16_t xf = kDateXf) { Number(sheet, row, col, serial, xf); }
  void Bool(size_t sheet, int row, int col, bool value) { BoolErr(sheet, row, col, value ? 1 : 0, false); }
  void Error(size_t sheet, int row, int col, uint8_t code = 0x07) { BoolErr(sheet, row, col, code, true); }
  void Blank(size_t sheet, int row, int col) { Cell(sheet, 0x0201, CellHeader(row, col, kGeneralXf)); }

  void FormulaNumber(size_t sheet, int row, int col, double value, uint16_t xf = kGeneralXf) {
    Bytes result;
    PutF64(result, value);
    Formula(sheet, row, col, result, xf);
  }
  void FormulaText(size_t sheet, int row, int col, const std::u16string& text) {
    Formula(sheet, row, col, {0, 0, 0, 0, 0, 0, 0xFF, 0xFF}, kGeneralXf);
    if (biff5_) {
      Bytes d;
      PutText(d, text, 2);
      return Cell(sheet, 0x0207, d);
    }
    ContinuedRecord string(0x0207, max_record_);
    bool wide = NeedsWide(text);
    Bytes header;
    PutU16(header, static_cast<uint32_t>(text.size()));
    PutU8(header, wide ? 1 : 0);
    string.Whole(header);
    string.Chars(text, wide, wide);
    string.WriteTo(sheets_[sheet].records);
  }
  void FormulaBool(size_t sheet, int row, int col, bool value) {
    Formula(sheet, row, col, {1, 0, uint8_t(value ? 1 : 0), 0, 0, 0, 0xFF, 0xFF}, kGeneralXf);
  }
  void FormulaError(size_t sheet, int row, int col) { Formula(sheet, row, col, {2, 0, 0x2A, 0, 0, 0, 0xFF, 0xFF}, 0); }
  void FormulaEmptyText(size_t sheet, int row, int col) { Formula(sheet, row, col, {3, 0, 0, 0, 0, 0, 0xFF, 0xFF}, 0); }

  void Merge(size_t sheet, int first_row, int last_row, int first_col, int last_col) {
    sheets_[sheet].merges.push_back({first_row, last_row, first_col, last_col});
  }
  // A workbook-level name for a range of a sheet (flags: 0x01 hidden, 0x20 built-in).
  void Name(const std::u16string& name, size_t sheet, int first_row, int last_row, int first_col, int last_col,
            uint16_t flags = 0) {
    names_.push_back({name, sheet, first_row, last_row, first_col, last_col, flags});
  }
  // Any record, appended to a sheet's cell records as it is.
  void Raw(size_t sheet, uint16_t type, const Bytes& data) { PutRecord(sheets_[sheet].records, type, data); }

  Bytes Stream() const {
    Bytes globals;
    PutRecord(globals, 0x0809, Bof(0x0005));
    if (encrypted_) PutRecord(globals, 0x002F, {0x01, 0x00, 0x01, 0x00, 0x01, 0x00});  // RC4 header start
    PutRecord(globals, 0x0042, biff5_ ? Bytes{0xE4, 0x04} : Bytes{0xB0, 0x04});  // code page 1252 / 1200
    PutRecord(globals, 0x0022, {uint8_t(date1904_ ? 1 : 0), 0});
    for (size_t i = 0; i < formats_.size(); ++i) {
      Bytes d;
      PutU16(d, 164 + static_cast<uint32_t>(i));
      PutText(d, formats_[i], biff5_ ? 1 : 2);
      PutRecord(globals, 0x041E, d);
    }
    for (uint16_t format : xf_formats_) {
      Bytes d;
      PutU16(d, 0);
      PutU16(d, format);
      d.resize(biff5_ ? 16 : 20, 0);
      PutRecord(globals, 0x00E0, d);
    }
    std::vector<size_t> offset_fields;
    for (const Sheet& sheet : sheets_) {
      Bytes d;
      PutU32(d, 0);
      PutU8(d, 0);
      PutU8(d, sheet.kind);
      PutText(d, sheet.name, 1);
      offset_fields.push_back(globals.size() + 4);
      PutRecord(globals, 0x0085, d);
    }
    if (!names_.empty()) {
      if (!biff5_) {  // BIFF5 names carry their sheet numbers themselves
        Bytes supbook;
        PutU16(supbook, static_cast<uint32_t>(sheets_.size()));
        PutU16(supbook, 0x0401);
        PutRecord(globals, 0x01AE, supbook);
        Bytes extern_sheet;
        PutU16(extern_sheet, static_cast<uint32_t>(sheets_.size()));
        for (uint32_t i = 0; i < sheets_.size(); ++i) {
          PutU16(extern_sheet, 0), PutU16(extern_sheet, i), PutU16(extern_sheet, i);
        }
        PutRecord(globals, 0x0017, extern_sheet);
      }
      for (const DefinedName& name : names_) {
        Bytes d;
        PutU16(d, name.flags);
        PutU8(d, 0);
        PutU8(d, static_cast<uint32_t>(name.name.size()));
        PutU16(d, biff5_ ? 21 : 11);  // one 3-D area token
        PutU16(d, 0);
        PutU16(d, 0);   // workbook-level
        PutU32(d, 0);
        if (biff5_) {
          for (char16_t c : name.name) PutU8(d, Cp1252(c));
          PutU8(d, 0x3B);
          PutU16(d, 0xFFFF);  // a link into this workbook
          d.resize(d.size() + 8, 0);
          PutU16(d, static_cast<uint32_t>(name.sheet));
          PutU16(d, static_cast<uint32_t>(name.sheet));
          PutU16(d, name.first_row);
          PutU16(d, name.last_row);
          PutU8(d, name.first_col);
          PutU8(d, name.last_col);
        } else {
          bool wide = NeedsWide(name.name);
          PutU8(d, wide ? 1 : 0);
          PutChars(d, name.name, wide);
          PutU8(d, 0x3B);
          PutU16(d, static_cast<uint32_t>(name.sheet));
          PutU16(d, name.first_row);
          PutU16(d, name.last_row);
          PutU16(d, name.first_col);
          PutU16(d, name.last_col);
        }
        PutRecord(globals, 0x0018, d);
      }
    }
    if (!strings_.empty()) {
      ContinuedRecord sst(0x00FC, max_record_);
      Bytes counts;
      PutU32(counts, static_cast<uint32_t>(strings_.size()));
      PutU32(counts, static_cast<uint32_t>(strings_.size()));
      sst.Whole(counts);
      for (const std::u16string& s : strings_) sst.SharedString(s, switch_width_);
      sst.WriteTo(globals);
    }
    PutRecord(globals, 0x000A, {});

    Bytes stream = globals;
    for (size_t i = 0; i < sheets_.size(); ++i) {
      SetU32(stream, offset_fields[i], static_cast<uint32_t>(stream.size()));
      PutRecord(stream, 0x0809, Bof(0x0010));
      stream.insert(stream.end(), sheets_[i].records.begin(), sheets_[i].records.end());
      if (!sheets_[i].merges.empty() && !biff5_) {
        Bytes d;
        PutU16(d, static_cast<uint32_t>(sheets_[i].merges.size()));
        for (const auto& m : sheets_[i].merges) {
          for (int v : m) PutU16(d, v);
        }
        PutRecord(stream, 0x00E5, d);
      }
      PutRecord(stream, 0x000A, {});
    }
    return stream;
  }

  Bytes File(int sector_shift = 9) const { return WrapInCompoundFile(Stream(), u"Workbook", sector_shift); }

  void Save(const std::filesystem::path& path, int sector_shift = 9) const {
    Bytes bytes = File(sector_shift);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

  // Shared strings split over CONTINUE records go on in 16-bit characters.
  void SetSwitchWidthOnContinue(bool on) { switch_width_ = on; }

 private:
  struct Sheet {
    std::u16string name;
    uint8_t kind;
    Bytes records;
    std::vector<std::array<int, 4>> merges;
  };
  struct DefinedName {
    std::u16string name;
    size_t sheet;
    int first_row, last_row, first_col, last_col;
    uint16_t flags;
  };

  Bytes Bof(uint16_t kind) const {
    Bytes d;
    PutU16(d, biff5_ ? 0x0500 : 0x0600);
    PutU16(d, kind);
    PutU16(d, 0x0DBB);  // build
    PutU16(d, 0x07CC);  // year
    if (!biff5_) {
      PutU32(d, 0);
      PutU32(d, 6);
    }
    return d;
  }
  static uint8_t Cp1252(char16_t c) { return c == u'€' ? 0x80 : static_cast<uint8_t>(c); }
  // A text with its length (1 or 2 bytes): BIFF8 adds a width flag and may use 16 bits.
  void PutText(Bytes& d, const std::u16string& text, int length_bytes) const {
    length_bytes == 1 ? PutU8(d, static_cast<uint32_t>(text.size())) : PutU16(d, static_cast<uint32_t>(text.size()));
    if (biff5_) {
      for (char16_t c : text) PutU8(d, Cp1252(c));
      return;
    }
    bool wide = NeedsWide(text);
    PutU8(d, wide ? 1 : 0);
    PutChars(d, text, wide);
  }
  static Bytes CellHeader(int row, int col, uint16_t xf) {
    Bytes d;
    PutU16(d, row);
    PutU16(d, col);
    PutU16(d, xf);
    return d;
  }
  void Cell(size_t sheet, uint16_t type, const Bytes& data) { PutRecord(sheets_[sheet].records, type, data); }
  void BoolErr(size_t sheet, int row, int col, uint8_t value, bool error) {
    Bytes d = CellHeader(row, col, kGeneralXf);
    PutU8(d, value);
    PutU8(d, error ? 1 : 0);
    Cell(sheet, 0x0205, d);
  }
  void Formula(size_t sheet, int row, int col, const Bytes& result, uint16_t xf) {
    Bytes d = CellHeader(row, col, xf);
    d.insert(d.end(), result.begin(), result.end());
    PutU16(d, 0);      // flags
    PutU32(d, 0);      // cache
    PutU16(d, 3);      // formula size: ptgInt 0
    PutU8(d, 0x1E);
    PutU16(d, 0);
    Cell(sheet, 0x0006, d);
  }
  uint32_t SharedIndex(const std::u16string& text) {
    strings_.push_back(text);
    return static_cast<uint32_t>(strings_.size() - 1);
  }

  bool date1904_ = false;
  bool biff5_ = false;
  bool encrypted_ = false;
  bool switch_width_ = false;
  size_t max_record_ = 8224;
  std::vector<std::u16string> formats_;
  std::vector<uint16_t> xf_formats_{0, 14, 20, 9};
  std::vector<Sheet> sheets_;
  std::vector<DefinedName> names_;
  std::vector<std::u16string> strings_;
};

}  // namespace testsupport
