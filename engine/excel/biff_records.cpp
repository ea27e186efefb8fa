// Record headers are 4 bytes (type, length); text in BIFF8 records is a character count,
// a flag byte (bit 0: 16-bit characters, bit 2: phonetic data follows, bit 3: formatting
// runs follow) and the characters, which may go on in the next CONTINUE record.
#include "engine/excel/biff_records.h"

#include "engine/base/bytes.h"
#include "engine/base/error.h"

namespace engine::excel {
namespace {

constexpr size_t kRecordHeaderSize = 4;  // 2-byte type + 2-byte length
// No record of BIFF8 holds more (BIFF5's limit, 2080, is below it): a longer length was
// overwritten, and what follows it would be read out of step.
constexpr size_t kMaxRecordLength = 8224;

[[noreturn]] void Truncated() {
  throw Error("", "the workbook file is damaged (a record is cut short)", ErrorKind::Damaged);
}

[[noreturn]] void TooLong() {
  throw Error("", "the workbook file is damaged (a record is longer than a workbook's records can be)",
              ErrorKind::Damaged);
}

}  // namespace

RecordReader::RecordReader(const std::vector<std::span<const uint8_t>>& parts) : parts_(parts) {
  for (std::span<const uint8_t> part : parts_) size_ += part.size();
}

void RecordReader::NextPart() {
  while (part_ < parts_.size() && offset_ >= parts_[part_].size()) EnterNextPart();
  if (part_ >= parts_.size()) Truncated();
}

uint8_t RecordReader::U8() {
  NextPart();
  return parts_[part_][offset_++];
}

uint16_t RecordReader::U16AcrossParts() {
  uint16_t low = U8();
  return static_cast<uint16_t>(low | (U8() << 8));
}

double RecordReader::F64() {
  uint8_t bytes[8];
  if (part_ < parts_.size() && parts_[part_].size() - offset_ >= sizeof bytes) {
    const double v = GetF64(parts_[part_].data() + offset_);
    offset_ += sizeof bytes;
    return v;
  }
  for (uint8_t& b : bytes) b = U8();
  return GetF64(bytes);
}

void RecordReader::Skip(size_t count) {
  while (count > 0) {
    NextPart();
    size_t step = std::min(count, parts_[part_].size() - offset_);
    offset_ += step;
    count -= step;
  }
}

std::u16string RecordReader::Chars(size_t count, bool wide) {
  std::u16string text;
  AppendChars(count, wide, text);
  return text;
}

void RecordReader::AppendChars(size_t count, bool wide, std::u16string& text) {
  // Every character takes at least a byte: a count beyond the bytes left cannot be met.
  if (count > Remaining()) Truncated();
  const size_t start = text.size();
  text.resize(start + count);
  char16_t* out = text.data() + start;
  size_t done = 0;
  while (done < count) {
    if (part_ < parts_.size() && offset_ >= parts_[part_].size()) {
      // A CONTINUE boundary inside the characters: a new width flag follows.
      EnterNextPart();
      if (part_ >= parts_.size()) Truncated();
      wide = (U8() & 0x01) != 0;
      continue;
    }
    if (part_ >= parts_.size()) Truncated();
    const uint8_t* at = parts_[part_].data() + offset_;
    const size_t left = parts_[part_].size() - offset_;
    const size_t want = count - done;
    if (wide) {
      const size_t available = std::min(want, left / 2);
      if (available == 0) Truncated();  // half a character before the boundary
      for (size_t i = 0; i < available; ++i) out[done + i] = static_cast<char16_t>(GetU16(at + 2 * i));
      offset_ += 2 * available;
      done += available;
    } else {
      const size_t available = std::min(want, left);
      for (size_t i = 0; i < available; ++i) out[done + i] = static_cast<char16_t>(at[i]);
      offset_ += available;
      done += available;
    }
  }
}

std::string RecordReader::Bytes(size_t count) {
  if (count > Remaining()) Truncated();
  std::string bytes;
  bytes.reserve(count);
  for (size_t i = 0; i < count; ++i) bytes += static_cast<char>(U8());
  return bytes;
}

std::u16string RecordReader::UnicodeString(int length_bytes) {
  size_t count = length_bytes == 1 ? U8() : U16();
  uint8_t flags = U8();
  return Chars(count, (flags & 0x01) != 0);
}

void RecordReader::AppendRichExtendedString(std::u16string& text) {
  constexpr uint8_t kWide = 0x01, kExtended = 0x04, kRich = 0x08;
  constexpr size_t kRunSize = 4;  // 2-byte character position + 2-byte font index
  size_t count = U16();
  uint8_t flags = U8();
  size_t runs = (flags & kRich) ? U16() : 0;
  size_t extended_size = (flags & kExtended) ? U32() : 0;
  AppendChars(count, (flags & kWide) != 0, text);
  Skip(runs * kRunSize);
  Skip(extended_size);
}

bool RecordStream::Next() {
  parts_.clear();
  // Every part of a workbook ends with its EOF record, so a reader that gets here has not
  // met it yet: a stream that ends inside a record was cut short or overwritten.
  if (next_ >= stream_.size()) return false;
  if (next_ + kRecordHeaderSize > stream_.size()) Truncated();
  offset_ = next_;
  type_ = GetU16(stream_.data() + next_);
  size_t length = GetU16(stream_.data() + next_ + 2);
  if (length > kMaxRecordLength) TooLong();
  if (next_ + kRecordHeaderSize + length > stream_.size()) Truncated();
  parts_.push_back(stream_.subspan(next_ + kRecordHeaderSize, length));
  next_ += kRecordHeaderSize + length;
  while (next_ + kRecordHeaderSize <= stream_.size() && GetU16(stream_.data() + next_) == record::kContinue) {
    size_t part_length = GetU16(stream_.data() + next_ + 2);
    if (part_length > kMaxRecordLength) TooLong();
    if (next_ + kRecordHeaderSize + part_length > stream_.size()) Truncated();
    parts_.push_back(stream_.subspan(next_ + kRecordHeaderSize, part_length));
    next_ += kRecordHeaderSize + part_length;
  }
  return true;
}

}  // namespace engine::excel
