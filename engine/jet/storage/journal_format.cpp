// The journal's header and records, written and read back: see journal_format.h for the bytes.
#include "engine/jet/storage/journal_format.h"

#include <cstring>

#include "engine/base/bytes.h"
#include "engine/jet/storage/header_page.h"

namespace engine::jet {
namespace {

constexpr char kMagic[8] = {'A', 'R', 'C', 'H', 'J', 'R', 'N', '2'};
constexpr size_t kPageSizeAt = 8;
constexpr size_t kPagesBeforeAt = 12;
constexpr size_t kSizeBeforeAt = 16;
constexpr size_t kHeaderPageChecksumAt = 24;
constexpr size_t kMarkAt = 32;
static_assert(kMarkAt + 8 == kJournalHeaderFields, "the header's checksum follows the mark");

constexpr uint64_t kFnvStart = 0xcbf29ce484222325ULL;

uint64_t Fnv1a(const uint8_t* data, size_t size, uint64_t hash = kFnvStart) {
  for (size_t i = 0; i < size; ++i) {
    hash ^= data[i];
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

// Seeded with the mark, so that a record of another change never checks.
uint64_t RecordChecksum(uint64_t mark, PageNumber page, const uint8_t* bytes, size_t page_size) {
  uint8_t prefix[8 + 4];
  PutU64(prefix, mark);
  PutPageNumber(prefix + 8, page);
  return Fnv1a(bytes, page_size, Fnv1a(prefix, sizeof prefix));
}

void Append32(std::vector<uint8_t>& out, uint32_t v) {
  out.resize(out.size() + 4);
  PutU32(out.data() + out.size() - 4, v);
}
void Append64(std::vector<uint8_t>& out, uint64_t v) {
  out.resize(out.size() + 8);
  PutU64(out.data() + out.size() - 8, v);
}

}  // namespace

std::filesystem::path JournalPathFor(const std::filesystem::path& database) {
  return std::filesystem::path(database.string() + "-journal");
}

std::vector<uint8_t> EncodeJournalHeader(const JournalHeader& header) {
  std::vector<uint8_t> bytes(kMagic, kMagic + sizeof kMagic);
  Append32(bytes, header.page_size);
  Append32(bytes, header.pages_before);
  Append64(bytes, header.size_before);
  Append64(bytes, header.header_page_checksum);
  Append64(bytes, header.mark);
  Append64(bytes, Fnv1a(bytes.data(), bytes.size()));
  return bytes;
}

std::optional<JournalHeader> DecodeJournalHeader(const uint8_t* bytes) {
  if (std::memcmp(bytes, kMagic, sizeof kMagic) != 0 ||
      GetU64(bytes + kJournalHeaderFields) != Fnv1a(bytes, kJournalHeaderFields)) {
    return std::nullopt;
  }
  return JournalHeader{GetU32(bytes + kPageSizeAt), GetU32(bytes + kPagesBeforeAt), GetU64(bytes + kSizeBeforeAt),
                       GetU64(bytes + kHeaderPageChecksumAt), GetU64(bytes + kMarkAt)};
}

uint64_t HeaderPageChecksum(const uint8_t* page, size_t size) {
  // Summed in three parts, the mark's as zeros; a page too short to hold the mark (which no
  // Jet page is) is summed as it stands.
  if (size < kJournalMarkOffset + kJournalMarkSize) return Fnv1a(page, size);
  constexpr uint8_t kNoMark[kJournalMarkSize] = {};
  uint64_t hash = Fnv1a(page, kJournalMarkOffset);
  hash = Fnv1a(kNoMark, sizeof kNoMark, hash);
  const size_t after = kJournalMarkOffset + kJournalMarkSize;
  return Fnv1a(page + after, size - after, hash);
}

void AppendJournalRecord(std::vector<uint8_t>& out, uint64_t mark, PageNumber page, const uint8_t* bytes,
                         size_t page_size) {
  Append32(out, page.value());
  out.insert(out.end(), bytes, bytes + page_size);
  Append64(out, RecordChecksum(mark, page, bytes, page_size));
}

std::optional<JournalRecord> DecodeJournalRecord(const uint8_t* record, uint64_t mark, size_t page_size) {
  const PageNumber page = GetPageNumber(record);
  const uint8_t* bytes = record + 4;
  if (GetU64(bytes + page_size) != RecordChecksum(mark, page, bytes, page_size)) return std::nullopt;
  return JournalRecord{page, bytes};
}

}  // namespace engine::jet
