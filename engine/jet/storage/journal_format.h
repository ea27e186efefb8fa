// The bytes of the rollback journal, NAME-journal beside the database NAME: a header, then
// one record per page the change overwrites, to the end of the file. Little-endian.
//
// Header, 48 bytes:
//   0  "ARCHJRN2"                    8  u32 page size (2048 or 4096)
//  12  u32 pages before the change  16  u64 file length in bytes before the change
//  24  u64 FNV-1a of the header page before the change, its mark counted as zeros
//  32  u64 the change's mark: random, non-zero, also at 0x400 of the header page meanwhile
//  40  u64 FNV-1a of bytes 0 to 39
// Record, page size + 12 bytes: u32 page number, the page's committed bytes, u64 FNV-1a over
// the mark (8 bytes), the page number (4) and the page, in that order. There is no count: a
// record cut short or whose checksum fails ends the list.
// Layout: FORMAT.md, "The rollback journal".
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "engine/jet/format/page_number.h"

namespace engine::jet {

std::filesystem::path JournalPathFor(const std::filesystem::path& database);

// 8 magic + 4 page size + 4 pages + 8 length + 8 header-page checksum + 8 mark, then an 8-byte
// checksum of those 40.
inline constexpr size_t kJournalHeaderFields = 8 + 4 + 4 + 8 + 8 + 8;
inline constexpr size_t kJournalHeaderSize = kJournalHeaderFields + 8;
// 4-byte page number + 8-byte checksum around each page.
inline constexpr size_t kJournalRecordOverhead = 4 + 8;

struct JournalHeader {
  uint32_t page_size = 0;
  uint32_t pages_before = 0;
  uint64_t size_before = 0;
  uint64_t header_page_checksum = 0;
  uint64_t mark = 0;
};

// The header's kJournalHeaderSize bytes, checksum included.
std::vector<uint8_t> EncodeJournalHeader(const JournalHeader& header);
// The header in kJournalHeaderSize bytes; nothing when the magic or the checksum is wrong.
std::optional<JournalHeader> DecodeJournalHeader(const uint8_t* bytes);

// The checksum a journal header keeps of the header page (`size` bytes): the mark counts as
// zeros, so the page checks the same with the mark written or not.
uint64_t HeaderPageChecksum(const uint8_t* page, size_t size);

inline size_t JournalRecordSize(size_t page_size) { return kJournalRecordOverhead + page_size; }
inline uint64_t JournalRecordOffset(uint64_t index, size_t page_size) {
  return kJournalHeaderSize + index * JournalRecordSize(page_size);
}

// Appends the record of `page`, whose committed bytes are `bytes`, to `out`.
void AppendJournalRecord(std::vector<uint8_t>& out, uint64_t mark, PageNumber page, const uint8_t* bytes,
                         size_t page_size);

// One record read back (JournalRecordSize bytes at `record`): the page it restores and its
// bytes, inside `record`. Nothing when its checksum fails.
struct JournalRecord {
  PageNumber page;
  const uint8_t* bytes = nullptr;
};
std::optional<JournalRecord> DecodeJournalRecord(const uint8_t* record, uint64_t mark, size_t page_size);

}  // namespace engine::jet
