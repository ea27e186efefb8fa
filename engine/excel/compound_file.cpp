// Compound-file reading. Header fields used (offsets in the first 512 bytes):
//   0x00 signature (8)        0x1E sector shift (9 or 12)   0x20 mini sector shift (6)
//   0x2C FAT sector count     0x30 first directory sector   0x38 mini stream cutoff (4096)
//   0x3C first mini FAT sector 0x40 mini FAT sector count  0x44 first DIFAT sector
//   0x48 DIFAT sector count   0x4C the first 109 FAT sector numbers (the DIFAT head)
// Sector n starts at byte (n + 1) << shift. Directory entry (128 bytes): name in UTF-16 (64),
// name size in bytes with the terminator (0x40), type (0x42: 1 storage, 2 stream, 5 root),
// left/right siblings and child (0x44/0x48/0x4C), start sector (0x74), size (0x78).
// Every chain is walked remembering the sectors it has passed, so a damaged file can make
// the reader neither loop nor allocate more than the file holds.
#include "engine/excel/compound_file.h"

#include <algorithm>
#include <string>

#include "engine/base/bytes.h"
#include "engine/text/case_fold.h"
#include "engine/base/error.h"
#include "engine/value/value.h"

namespace engine::excel {
namespace {

constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr size_t kHeaderSize = 512;
constexpr size_t kDirectoryEntrySize = 128;
constexpr size_t kHeaderDifatEntries = 109;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFreeSector = 0xFFFFFFFF;
constexpr uint32_t kNoStream = 0xFFFFFFFF;
constexpr uint8_t kTypeStream = 2;
constexpr uint8_t kTypeRoot = 5;

[[noreturn]] void Damaged(const std::string& what) {
  throw Error("", "the workbook file is damaged (" + what + ")", ErrorKind::Damaged);
}

class Container {
 public:
  explicit Container(std::span<const uint8_t> file) : file_(file) {
    if (file.size() < kHeaderSize) Damaged("shorter than its header");
    const uint8_t* h = file.data();
    uint16_t shift = GetU16(h + 0x1E);
    uint16_t mini_shift = GetU16(h + 0x20);
    if (shift != 9 && shift != 12) Damaged("unknown sector size");
    if (mini_shift != 6) Damaged("unknown mini sector size");
    sector_size_ = size_t{1} << shift;
    // Sectors that start inside the file; a final partial sector is allowed (zero-filled).
    sector_count_ = file.size() <= sector_size_ ? 0 : (file.size() - sector_size_ + sector_size_ - 1) / sector_size_;
    mini_cutoff_ = GetU32(h + 0x38);
    LoadFat(h);
    LoadDirectory(GetU32(h + 0x30));
    LoadMiniFat(GetU32(h + 0x3C));
  }

  std::optional<std::vector<uint8_t>> ReadTopLevel(std::initializer_list<std::u16string_view> names) const {
    if (directory_.size() < kDirectoryEntrySize) Damaged("no directory");
    const uint8_t* root = directory_.data();
    if (root[0x42] != kTypeRoot) Damaged("no root entry");
    // The root's children form a binary tree through the sibling links; walk it with a
    // visited set so that a cyclic tree ends.
    std::vector<bool> visited(EntryCount(), false);
    std::vector<uint32_t> pending{GetU32(root + 0x4C)};
    std::vector<const uint8_t*> streams;
    while (!pending.empty()) {
      uint32_t id = pending.back();
      pending.pop_back();
      if (id == kNoStream) continue;
      if (id >= EntryCount()) Damaged("directory link out of range");
      if (visited[id]) continue;
      visited[id] = true;
      const uint8_t* e = Entry(id);
      pending.push_back(GetU32(e + 0x44));
      pending.push_back(GetU32(e + 0x48));
      if (e[0x42] == kTypeStream) streams.push_back(e);
    }
    // The names in the caller's order of preference: an Excel 97 file saved "also for
    // Excel 5" holds both a BIFF8 "Workbook" and a BIFF5 "Book".
    for (std::u16string_view wanted : names) {
      for (const uint8_t* e : streams) {
        if (EqualsIgnoringAsciiCase(EntryName(e), wanted)) return ReadStream(e);
      }
    }
    return std::nullopt;
  }

 private:
  size_t EntryCount() const { return directory_.size() / kDirectoryEntrySize; }
  const uint8_t* Entry(uint32_t id) const { return directory_.data() + size_t{id} * kDirectoryEntrySize; }

  static std::u16string EntryName(const uint8_t* e) {
    size_t bytes = std::min<size_t>(GetU16(e + 0x40), 64);
    std::u16string name;
    for (size_t i = 0; i + 1 < bytes; i += 2) {
      char16_t c = GetU16(e + i);
      if (c == 0) break;
      name += c;
    }
    return name;
  }

  // Copies one sector into `out` (the bytes past the end of the file read as zero).
  void AppendSector(uint32_t sector, std::vector<uint8_t>& out) const {
    if (sector >= sector_count_) Damaged("sector number outside the file");
    size_t start = (size_t{sector} + 1) * sector_size_;
    size_t available = std::min(sector_size_, file_.size() - start);
    out.insert(out.end(), file_.begin() + start, file_.begin() + start + available);
    out.resize(out.size() + (sector_size_ - available), 0);
  }

  uint32_t NextSector(uint32_t sector) const {
    if (sector >= fat_.size()) Damaged("sector chain leaves the allocation table");
    return fat_[sector];
  }

  // The whole chain from `first`, at most `limit` bytes (the stream's declared size).
  std::vector<uint8_t> ReadChain(uint32_t first, uint64_t limit) const {
    std::vector<uint8_t> out;
    if (limit <= file_.size()) out.reserve(limit + sector_size_);  // callers check sizes against the file
    std::vector<bool> visited(sector_count_, false);
    uint32_t sector = first;
    while (sector != kEndOfChain && out.size() < limit) {
      AppendSector(sector, out);
      if (visited[sector]) Damaged("sector chain loops");
      visited[sector] = true;
      sector = NextSector(sector);
    }
    if (out.size() < limit && limit != UINT64_MAX) Damaged("stream shorter than its declared size");
    if (out.size() > limit) out.resize(limit);
    return out;
  }

  void LoadFat(const uint8_t* h) {
    uint32_t fat_sectors = GetU32(h + 0x2C);
    if (fat_sectors > sector_count_) Damaged("allocation table larger than the file");
    std::vector<uint32_t> fat_sector_ids;
    for (size_t i = 0; i < kHeaderDifatEntries && fat_sector_ids.size() < fat_sectors; ++i) {
      fat_sector_ids.push_back(GetU32(h + 0x4C + 4 * i));
    }
    // Further FAT sector numbers live in DIFAT sectors: 127 numbers and a link each.
    uint32_t difat = GetU32(h + 0x44);
    size_t entries_per_difat = sector_size_ / 4 - 1;
    size_t steps = 0;
    while (fat_sector_ids.size() < fat_sectors) {
      if (difat == kEndOfChain || difat == kFreeSector) Damaged("allocation table list ends early");
      if (++steps > sector_count_) Damaged("allocation table list loops");
      std::vector<uint8_t> block;
      AppendSector(difat, block);
      for (size_t i = 0; i < entries_per_difat && fat_sector_ids.size() < fat_sectors; ++i) {
        fat_sector_ids.push_back(GetU32(block.data() + 4 * i));
      }
      difat = GetU32(block.data() + 4 * entries_per_difat);
    }
    fat_.reserve(fat_sector_ids.size() * (sector_size_ / 4));
    std::vector<uint8_t> block;
    for (uint32_t id : fat_sector_ids) {
      block.clear();
      AppendSector(id, block);
      for (size_t i = 0; i < sector_size_; i += 4) fat_.push_back(GetU32(block.data() + i));
    }
  }

  void LoadDirectory(uint32_t first) {
    directory_ = ReadChain(first, UINT64_MAX);
  }

  void LoadMiniFat(uint32_t first) {
    if (first == kEndOfChain || first == kFreeSector) return;
    std::vector<uint8_t> bytes = ReadChain(first, UINT64_MAX);
    mini_fat_.reserve(bytes.size() / 4);
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) mini_fat_.push_back(GetU32(bytes.data() + i));
  }

  std::vector<uint8_t> ReadStream(const uint8_t* entry) const {
    uint32_t first = GetU32(entry + 0x74);
    // Version 3 files keep garbage in the high half of the size; no stream here exceeds 4 GB.
    uint64_t size = GetU32(entry + 0x78);
    if (size > file_.size()) Damaged("stream larger than the file");
    if (size >= mini_cutoff_) return ReadChain(first, size);
    return ReadMiniStream(first, size);
  }

  std::vector<uint8_t> ReadMiniStream(uint32_t first, uint64_t size) const {
    constexpr size_t kMiniSectorSize = 64;
    const uint8_t* root = directory_.data();
    if (!mini_stream_loaded_) {
      uint64_t root_size = GetU32(root + 0x78);
      if (root_size > file_.size()) Damaged("mini stream larger than the file");
      mini_stream_ = ReadChain(GetU32(root + 0x74), root_size);
      mini_stream_loaded_ = true;
    }
    std::vector<uint8_t> out;
    std::vector<bool> visited(mini_fat_.size(), false);
    uint32_t sector = first;
    while (out.size() < size) {
      if (sector == kEndOfChain) Damaged("small stream shorter than its declared size");
      size_t start = size_t{sector} * kMiniSectorSize;
      if (sector >= mini_fat_.size() || start + kMiniSectorSize > mini_stream_.size()) {
        Damaged("small stream sector outside the mini stream");
      }
      if (visited[sector]) Damaged("small stream chain loops");
      visited[sector] = true;
      out.insert(out.end(), mini_stream_.begin() + start, mini_stream_.begin() + start + kMiniSectorSize);
      sector = mini_fat_[sector];
    }
    out.resize(size);
    return out;
  }

  std::span<const uint8_t> file_;
  size_t sector_size_ = 512;
  size_t sector_count_ = 0;
  uint32_t mini_cutoff_ = 4096;
  std::vector<uint32_t> fat_;
  std::vector<uint32_t> mini_fat_;
  std::vector<uint8_t> directory_;
  mutable std::vector<uint8_t> mini_stream_;
  mutable bool mini_stream_loaded_ = false;
};

}  // namespace

bool HasCompoundFileSignature(std::span<const uint8_t> file) {
  return file.size() >= sizeof kSignature && std::equal(kSignature, kSignature + sizeof kSignature, file.begin());
}

std::optional<std::vector<uint8_t>> ReadTopLevelStream(std::span<const uint8_t> file,
                                                       std::initializer_list<std::u16string_view> names) {
  if (!HasCompoundFileSignature(file)) Damaged("no compound-file signature");
  return Container(file).ReadTopLevel(names);
}

}  // namespace engine::excel
