// Page 0: Jet's fields decoded, the header of a new file, and the engine's mark and change
// counter; see header_page.h for the bytes.
#include "engine/jet/storage/header_page.h"

#include <unistd.h>

#include <array>
#include <bit>
#include <cerrno>
#include <cstring>

#include "engine/base/bytes.h"
#include "engine/base/error.h"
#include "engine/jet/format/byte_reader.h"
#include "engine/jet/format/format.h"
#include "engine/jet/storage/file_io.h"

namespace engine::jet {
namespace {

// Offsets in the file; kMaskedStart.. is stored XORed with the RC4 keystream of the key below.
constexpr char kEngineName[] = "Standard Jet DB";
constexpr size_t kEngineNameOffset = 0x04;
constexpr size_t kVersionOffset = 0x14;
constexpr uint8_t kJet3Version = 0x00;
constexpr uint8_t kJet4Version = 0x01;
constexpr size_t kMaskedStart = 0x18;
constexpr size_t kMaskedLengthJet3 = 126;
constexpr size_t kMaskedLengthJet4 = 128;
constexpr size_t kCodePage = 0x3C;
constexpr size_t kEncodingKey = 0x3E;
constexpr size_t kPassword = 0x42;
constexpr size_t kPasswordLengthJet3 = 20;
constexpr size_t kPasswordLengthJet4 = 40;
constexpr size_t kUnknown6A = 0x6A;
constexpr uint32_t kUnknown6AValue = 0x11A6;  // as in Jet-made files; readers ignore it
constexpr size_t kSortOrderJet3 = 0x3A;
constexpr size_t kSortOrderJet4 = 0x6E;
constexpr size_t kCreationDate = 0x72;
constexpr uint8_t kHeaderMaskKey[4] = {0xC7, 0xDA, 0x39, 0x6B};
// Bytes Jet writes identically into every new Jet 4 file: a run of small counters at the
// start of the masked region, the engine's version after it, and a table at 0xE00.
constexpr uint8_t kMaskedPrologue[] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
                                       0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};
constexpr size_t kEngineVersionOffset = 0x98;
constexpr uint8_t kEngineVersion[] = {0x54, 0x06, 0x00, 0x00, '4', '.', '0', 0x00};
constexpr size_t kTrailerTableOffset = 0xE00;
// What Access 97 writes into every new Jet 3 file and readers ignore: a u16 1 before the sort
// order, a u16 at 0x56 (both masked), and the same table as Jet 4's at 0x600 (no engine
// version after the region). Access moves bytes 0 and 2 of that table on as it uses a file.
constexpr size_t kJet3Unknown38 = 0x38;
constexpr uint16_t kJet3Unknown38Value = 1;
constexpr size_t kJet3Unknown56 = 0x56;
constexpr uint16_t kJet3Unknown56Value = 0x251E;
constexpr size_t kJet3TrailerTableOffset = 0x600;
constexpr uint16_t kCodePage1252 = 1252;
constexpr uint16_t kGeneralSortOrder = 0x0409;  // LCID; the version byte after it stays 0 (Legacy)
static_assert(kChangeCounterOffset + 8 <= kHeaderBytesNeeded, "the engine's fields lie inside a Jet 3 page");
static_assert(kJournalMarkOffset > kEngineVersionOffset + 8, "the mark lies past the engine's version");

// The bytes 01 01, then 01 at every odd offset from the table's fourth byte to the page end.
void WriteTrailerTable(uint8_t* page, size_t offset, size_t page_size) {
  page[offset] = 0x01;
  page[offset + 1] = 0x01;
  for (size_t i = offset + 3; i < page_size; i += 2) page[i] = 0x01;
}

}  // namespace

void Rc4Apply(const uint8_t* key, size_t key_length, uint8_t* data, size_t length) {
  std::array<uint8_t, 256> s;
  for (int i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
  for (int i = 0, j = 0; i < 256; ++i) {
    j = (j + s[i] + key[i % key_length]) & 0xFF;
    std::swap(s[i], s[j]);
  }
  for (size_t n = 0, i = 0, j = 0; n < length; ++n) {
    i = (i + 1) & 0xFF;
    j = (j + s[i]) & 0xFF;
    std::swap(s[i], s[j]);
    data[n] ^= s[(s[i] + s[j]) & 0xFF];
  }
}

HeaderPage DecodeHeaderPage(const uint8_t* page, size_t size, const std::string& file) {
  if (size < kHeaderBytesNeeded) {
    throw Error(file, "the file is too short to be an Access database", ErrorKind::Damaged);
  }
  if (page[kPageTypeOffset] != kPageHeaderOrFreed || page[kPageInUseOffset] != kPageInUse || std::memcmp(page + 4, "Standard ", 9) != 0) {
    throw Error(file, "the file is not an Access database", ErrorKind::Damaged);
  }
  const uint8_t version = page[kVersionOffset];
  if (std::memcmp(page + 4, "Standard ACE DB", 15) == 0 || version >= 0x02) {
    throw Error(file,
                "the file is an Access 2007 or later database (.accdb format), which this program cannot open; "
                "save it in Access 2000-2003 (.mdb) format",
                ErrorKind::UnsupportedFormat);
  }
  if (std::memcmp(page + kEngineNameOffset, kEngineName, sizeof kEngineName - 1) != 0) {
    throw Error(file, "the file is not an Access database", ErrorKind::Damaged);
  }

  HeaderPage header;
  header.format = version == 0x00 ? &kJet3Format : &kJet4Format;
  const bool jet3 = header.format->is_jet3();

  uint8_t region[kMaskedLengthJet4];
  const size_t masked = jet3 ? kMaskedLengthJet3 : kMaskedLengthJet4;
  std::memcpy(region, page + kMaskedStart, masked);
  Rc4Apply(kHeaderMaskKey, sizeof kHeaderMaskKey, region, masked);
  auto at = [&](size_t offset) { return region + (offset - kMaskedStart); };

  header.code_page = GetU16(at(kCodePage));
  header.encoding_key = GetU32(at(kEncodingKey));
  if (jet3) {
    header.sort_order = GetU16(at(kSortOrderJet3));
  } else {
    header.sort_order = GetU16(at(kSortOrderJet4));
    header.sort_version = *at(kSortOrderJet4 + 3);
  }

  // A database without a password stores zeros; Jet 4 further XORs the area with the four
  // bytes of the creation date's whole part.
  uint8_t password_mask[4] = {0, 0, 0, 0};
  size_t password_length = kPasswordLengthJet3;
  if (!jet3) {
    password_length = kPasswordLengthJet4;
    const double created = GetF64(at(kCreationDate));
    // The engine truncates the date to an int32; out-of-range dates never occur in real files.
    const int32_t whole = (created > -2147483648.0 && created < 2147483647.0) ? static_cast<int32_t>(created) : 0;
    PutU32(password_mask, static_cast<uint32_t>(whole));
  }
  for (size_t i = 0; i < password_length; ++i) {
    if ((*at(kPassword + i) ^ password_mask[i % 4]) != 0) header.has_password = true;
  }
  return header;
}

namespace {

// What both versions' header pages start with: the page type, the engine's name, the
// version byte and the start of the masked region.
void StartHeaderPage(uint8_t* page, size_t page_size, uint8_t version) {
  StartPage(page, page_size, kPageHeaderOrFreed);
  std::memcpy(page + kEngineNameOffset, kEngineName, sizeof kEngineName - 1);
  page[kVersionOffset] = version;
  std::memcpy(page + kMaskedStart, kMaskedPrologue, sizeof kMaskedPrologue);
}

}  // namespace

void EncodeJet4HeaderPage(uint8_t* page, double creation_days) {
  const size_t page_size = kJet4Format.page_size;
  StartHeaderPage(page, page_size, kJet4Version);
  PutU16(page + kCodePage, kCodePage1252);
  // An empty password, masked by the creation date's whole days as Jet does.
  const uint32_t day_mask = static_cast<uint32_t>(static_cast<int32_t>(creation_days));
  for (size_t i = 0; i < kPasswordLengthJet4; i += 4) PutU32(page + kPassword + i, day_mask);
  PutU32(page + kUnknown6A, kUnknown6AValue);
  PutU16(page + kSortOrderJet4, kGeneralSortOrder);
  PutU64(page + kCreationDate, std::bit_cast<uint64_t>(creation_days));
  Rc4Apply(kHeaderMaskKey, sizeof kHeaderMaskKey, page + kMaskedStart, kMaskedLengthJet4);
  std::memcpy(page + kEngineVersionOffset, kEngineVersion, sizeof kEngineVersion);
  WriteTrailerTable(page, kTrailerTableOffset, page_size);
}

void EncodeJet3HeaderPage(uint8_t* page) {
  const size_t page_size = kJet3Format.page_size;
  StartHeaderPage(page, page_size, kJet3Version);
  PutU16(page + kJet3Unknown38, kJet3Unknown38Value);
  PutU16(page + kSortOrderJet3, kGeneralSortOrder);
  PutU16(page + kCodePage, kCodePage1252);
  PutU16(page + kJet3Unknown56, kJet3Unknown56Value);
  // The password stays zeros: Jet 3 masks it with the region's keystream only.
  Rc4Apply(kHeaderMaskKey, sizeof kHeaderMaskKey, page + kMaskedStart, kMaskedLengthJet3);
  WriteTrailerTable(page, kJet3TrailerTableOffset, page_size);
}

size_t PageSizeNamedBy(const uint8_t* page) {
  return page[kVersionOffset] == 0x00 ? kJet3Format.page_size : kJet4Format.page_size;
}

uint64_t JournalMarkIn(const uint8_t* page) { return GetU64(page + kJournalMarkOffset); }

namespace {

// The mark and the counter moved on, in one write (they are neighbours), then synced: a
// reader must never find the file changed by us with the counter where it was. Returns 0, or
// the errno of the failure.
int WriteMarkAndCount(int fd, uint64_t mark) {
  static_assert(kChangeCounterOffset == kJournalMarkOffset + kJournalMarkSize, "one write covers both");
  uint8_t bytes[kJournalMarkSize + 8];
  PutU64(bytes, mark);
  PutU64(bytes + kJournalMarkSize, ChangeCounterIn(fd) + 1);
  const ssize_t written = pwrite(fd, bytes, sizeof bytes, kJournalMarkOffset);
  if (written < 0) return errno;
  if (written != static_cast<ssize_t>(sizeof bytes)) return EIO;
  return fdatasync(fd) == 0 ? 0 : errno;
}

}  // namespace

void WriteJournalMark(int fd, uint64_t mark, const std::filesystem::path& database) {
  if (const int error = WriteMarkAndCount(fd, mark)) ThrowFileError(database, "cannot write the database", error);
}

void ClearJournalMark(int fd) {
  if (WriteMarkAndCount(fd, 0) != 0) {
    // Harmless if the mark stays: no journal carries it any more.
  }
}

uint64_t ChangeCounterIn(int fd) {
  uint8_t bytes[8];
  return ReadAt(fd, bytes, sizeof bytes, kChangeCounterOffset) == FileRead::Data ? GetU64(bytes) : 0;
}

}  // namespace engine::jet
