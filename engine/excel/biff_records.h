// The record layer of a BIFF5/BIFF8 workbook stream: each record is a 2-byte type, a 2-byte
// length and that many bytes of data (at most 8224 in BIFF8). A record too long for one
// goes on in CONTINUE records (type 0x003C) that follow it; RecordStream gathers them, and
// RecordReader reads across them as if the data were one piece, except that BIFF8 text
// resumes in a CONTINUE with a fresh 1-byte flag saying whether its characters are 8 or 16
// bits wide.
// Layout: FORMAT.md, layer "records".
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace engine::excel {

namespace record {
constexpr uint16_t kFormula = 0x0006;
constexpr uint16_t kEof = 0x000A;
constexpr uint16_t kExternSheet = 0x0017;
constexpr uint16_t kName = 0x0018;
constexpr uint16_t kDateMode = 0x0022;
constexpr uint16_t kFilePass = 0x002F;
constexpr uint16_t kContinue = 0x003C;
constexpr uint16_t kCodePage = 0x0042;
constexpr uint16_t kBoundSheet = 0x0085;
constexpr uint16_t kMulRk = 0x00BD;
constexpr uint16_t kMulBlank = 0x00BE;
constexpr uint16_t kRString = 0x00D6;
constexpr uint16_t kXf = 0x00E0;
constexpr uint16_t kMergedCells = 0x00E5;
constexpr uint16_t kSst = 0x00FC;
constexpr uint16_t kLabelSst = 0x00FD;
constexpr uint16_t kSupBook = 0x01AE;
constexpr uint16_t kDimensions = 0x0200;
constexpr uint16_t kBlank = 0x0201;
constexpr uint16_t kNumber = 0x0203;
constexpr uint16_t kLabel = 0x0204;
constexpr uint16_t kBoolErr = 0x0205;
constexpr uint16_t kString = 0x0207;
constexpr uint16_t kRk = 0x027E;
constexpr uint16_t kFormat = 0x041E;
constexpr uint16_t kBof = 0x0809;
// Beginning-of-file records of Excel 2.x, 3.0 and 4.0.
constexpr uint16_t kBofBiff2 = 0x0009;
constexpr uint16_t kBofBiff3 = 0x0209;
constexpr uint16_t kBofBiff4 = 0x0409;
}  // namespace record

// Reads one record's data (with its CONTINUE parts). Reading past the end throws
// engine::Error: the record is shorter than its content says.
class RecordReader {
 public:
  explicit RecordReader(const std::vector<std::span<const uint8_t>>& parts);

  size_t Remaining() const { return size_ - before_part_ - offset_; }
  uint8_t U8();
  // Inline, with one test when the number lies inside a part, as a cell record's fields do.
  uint16_t U16() {
    if (part_ < parts_.size() && parts_[part_].size() - offset_ >= 2) {
      const uint8_t* p = parts_[part_].data() + offset_;
      offset_ += 2;
      return static_cast<uint16_t>(p[0] | (p[1] << 8));
    }
    return U16AcrossParts();
  }
  uint32_t U32() {
    const uint32_t low = U16();
    return low | (static_cast<uint32_t>(U16()) << 16);
  }
  double F64();
  void Skip(size_t count);
  // `count` BIFF8 characters starting in the given width (16 bits when `wide`), switching
  // width at each CONTINUE boundary as its flag byte says.
  std::u16string Chars(size_t count, bool wide);
  // The same characters added to the end of `text`.
  void AppendChars(size_t count, bool wide, std::u16string& text);
  // `count` raw bytes (BIFF5 8-bit text), crossing CONTINUE boundaries.
  std::string Bytes(size_t count);
  // BIFF8 strings: a length of 1 or 2 bytes, a flag byte, then the characters (and, in the
  // rich/extended form of the shared string table, formatting runs and phonetic data,
  // which are skipped).
  std::u16string UnicodeString(int length_bytes);
  // A shared string's characters, added to the end of `text`.
  void AppendRichExtendedString(std::u16string& text);

 private:
  // Moves past the parts read to the end; throws when no part is left to read.
  void NextPart();
  void EnterNextPart() {
    before_part_ += parts_[part_].size();
    ++part_;
    offset_ = 0;
  }
  uint16_t U16AcrossParts();
  const std::vector<std::span<const uint8_t>>& parts_;
  size_t size_ = 0;  // of all parts
  size_t part_ = 0;
  size_t before_part_ = 0;  // bytes in the parts before part_
  size_t offset_ = 0;       // in part_
};

// Walks the records of a stream from a given offset.
class RecordStream {
 public:
  explicit RecordStream(std::span<const uint8_t> stream) : stream_(stream) {}

  void Seek(size_t offset) { next_ = offset; }
  // Moves to the next record (with its CONTINUE records). False at the end of the stream;
  // throws (damaged) when the stream ends inside a record or a length is beyond BIFF's.
  bool Next();
  uint16_t type() const { return type_; }
  size_t offset() const { return offset_; }
  // Where the record after this one (and its CONTINUE records) starts.
  size_t end() const { return next_; }
  RecordReader Reader() const { return RecordReader(parts_); }
  // The first part only, for fixed-size records.
  std::span<const uint8_t> Data() const { return parts_.front(); }

 private:
  std::span<const uint8_t> stream_;
  size_t next_ = 0;
  size_t offset_ = 0;
  uint16_t type_ = 0;
  std::vector<std::span<const uint8_t>> parts_;
};

}  // namespace engine::excel
