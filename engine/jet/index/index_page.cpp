#include "engine/jet/index/index_page.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <ostream>

#include "engine/base/bytes.h"
#include "engine/base/error.h"

namespace engine::jet {
namespace {

[[noreturn]] void Fail(PageNumber page_number, const std::string& what) {
  throw Error("", "index page " + to_string(page_number) + " is damaged: " + what, ErrorKind::Damaged);
}

// Writes the big-endian row pointer (and child on nodes); returns the byte after them.
uint8_t* WritePointers(const IndexEntry& entry, bool leaf, uint8_t* out) {
  PutBigEndianU24(out, entry.row.page.value());
  out[3] = entry.row.row;
  if (leaf) return out + 4;
  PutBigEndianU32(out + 4, entry.child.value());
  return out + 8;
}

// Appends the entry's full bytes (key, big-endian row pointer, child on nodes) to `out`.
void AppendEntryBytes(const IndexEntry& entry, bool leaf, std::string& out) {
  out.append(entry.key.data(), entry.key.size());
  uint8_t pointers[8];
  const uint8_t* end = WritePointers(entry, leaf, pointers);
  out.append(reinterpret_cast<const char*>(pointers), static_cast<size_t>(end - pointers));
}

bool SharesPrefix(std::string_view key, std::string_view first, size_t prefix) {
  if (key.size() < prefix) return false;
  for (size_t i = 0; i < prefix; ++i) {
    if (key[i] != first[i]) return false;
  }
  return true;
}

// General case: prefixes that run into the row pointer, compared on the full entry bytes.
void EncodeEntriesSlowly(const IndexPage& page, uint8_t* area, uint8_t* bitmap) {
  const size_t prefix = page.prefix_length;
  std::string first, full;
  size_t at = 0;
  for (size_t i = 0; i < page.entries.size(); ++i) {
    full.clear();
    AppendEntryBytes(page.entries[i], page.leaf, full);
    size_t skip = 0;
    if (i == 0) {
      if (prefix > full.size()) throw Error("", "index page prefix longer than its first entry", ErrorKind::Damaged);
      first = full;
    } else {
      if (full.size() < prefix || full.compare(0, prefix, first, 0, prefix) != 0) {
        throw Error("", "index page entries do not share the page prefix", ErrorKind::Damaged);
      }
      skip = prefix;
    }
    std::memcpy(area + at, full.data() + skip, full.size() - skip);
    at += full.size() - skip;
    bitmap[at >> 3] |= static_cast<uint8_t>(1u << (at & 7));
  }
}

}  // namespace

void IndexKey::Assign(std::string_view bytes) {
  size_ = static_cast<uint32_t>(bytes.size());
  if (size_ <= kInlineBytes) {
    if (size_ != 0) std::memcpy(inline_, bytes.data(), size_);
  } else {
    heap_ = new char[size_];
    std::memcpy(heap_, bytes.data(), size_);
  }
}

std::ostream& operator<<(std::ostream& out, const IndexKey& key) {
  static const char kHex[] = "0123456789abcdef";
  for (size_t i = 0; i < key.size(); ++i) {
    auto byte = static_cast<uint8_t>(key[i]);
    out << (i ? " " : "") << kHex[byte >> 4] << kHex[byte & 15];
  }
  return out;
}

std::string EntryBytes(const IndexEntry& entry, bool leaf) {
  std::string out;
  AppendEntryBytes(entry, leaf, out);
  return out;
}

IndexPage DecodeIndexPage(const uint8_t* bytes, PageNumber page_number, const JetFormat& format) {
  IndexPage page;
  if ((bytes[kPageTypeOffset] != kIndexLeafPageType && bytes[kPageTypeOffset] != kIndexNodePageType) ||
      bytes[kPageInUseOffset] != kPageInUse) {
    Fail(page_number, "it is not an index page (type " + std::to_string(bytes[0]) + ")");
  }
  page.leaf = bytes[0] == kIndexLeafPageType;
  uint16_t free_space = GetU16(bytes + kIndexFreeSpaceOffset);
  page.owner = GetPageNumber(bytes + kIndexOwnerOffset);
  if (format.index_unknown_u32 != 0) page.unknown_u32 = GetU32(bytes + format.index_unknown_u32);
  page.prev = GetPageNumber(bytes + format.index_prev);
  page.next = GetPageNumber(bytes + format.index_next);
  page.tail = GetPageNumber(bytes + format.index_tail);
  page.prefix_length = format.index_prefix_size == 1 ? bytes[format.index_prefix] : GetU16(bytes + format.index_prefix);
  page.unknown_byte = bytes[format.index_unknown_byte];
  const size_t capacity = format.index_entry_capacity();
  if (free_space > capacity) Fail(page_number, "free space larger than the page");
  const size_t area_end = capacity - free_space;  // entry-area offset where entries stop

  const uint8_t* bitmap = bytes + format.index_bitmap;
  const uint8_t* area = bytes + format.index_entries;
  const size_t bitmap_size = format.index_bitmap_size;
  const size_t pointer_size = page.pointer_size();
  std::string first;  // full bytes of entry 0, the source of every later entry's prefix
  std::string full;
  // One bit per entry: reserved once, rather than the entries moved each time the vector grows.
  size_t bits = 0;
  for (size_t byte = 0; byte < bitmap_size; ++byte) bits += static_cast<size_t>(std::popcount(bitmap[byte]));
  page.entries.reserve(bits);
  size_t start = 0;
  for (size_t byte = 0; byte < bitmap_size; ++byte) {
    if (bitmap[byte] == 0) continue;
    for (int bit = 0; bit < 8; ++bit) {
      if (!(bitmap[byte] & (1u << bit))) continue;
      size_t end = byte * 8 + bit;
      if (end > area_end) Fail(page_number, "an entry ends past the free-space mark");
      if (end == 0) Fail(page_number, "empty first entry");
      full.clear();
      if (!page.entries.empty()) full.append(first, 0, page.prefix_length);
      full.append(reinterpret_cast<const char*>(area + start), end - start);
      if (page.entries.empty()) {
        if (page.prefix_length > full.size()) Fail(page_number, "prefix longer than the first entry");
        first = full;
      }
      if (full.size() < pointer_size) Fail(page_number, "entry too short for its row pointer");
      IndexEntry entry;
      size_t key_size = full.size() - pointer_size;
      entry.key = IndexKey(std::string_view(full).substr(0, key_size));
      const auto* p = reinterpret_cast<const uint8_t*>(full.data()) + key_size;
      entry.row.page = PageNumber(GetBigEndianU24(p));
      entry.row.row = p[3];
      if (!page.leaf) entry.child = PageNumber(GetBigEndianU32(p + 4));
      // Searches and the writer's prefix rely on the order (an entry out of it could be
      // shorter than the prefix the page is written with).
      if (!page.entries.empty() && CompareEntries(page.entries.back(), entry) >= 0) {
        Fail(page_number, "entry " + std::to_string(page.entries.size()) + " is not above the one before it");
      }
      page.key_bytes += entry.key.size();
      page.entries.push_back(std::move(entry));
      start = end;
    }
  }
  if (start != area_end) Fail(page_number, "the free-space field does not match the last entry");
  return page;
}

size_t EncodedEntriesSize(const IndexPage& page, size_t prefix_length) {
  if (page.entries.empty()) return 0;
  size_t total = 0;
  for (const IndexEntry& entry : page.entries) total += entry.key.size() + page.pointer_size();
  return total - prefix_length * (page.entries.size() - 1);
}

size_t EncodedEntriesSize(const IndexPage& page) { return EncodedEntriesSize(page, page.prefix_length); }

size_t EncodedEntriesSizeFromKeyBytes(const IndexPage& page, size_t prefix_length) {
  const size_t count = page.entries.size();
  if (count == 0) return 0;
  return page.key_bytes + count * page.pointer_size() - prefix_length * (count - 1);
}

size_t SumOfKeySizes(const std::vector<IndexEntry>& entries) {
  size_t total = 0;
  for (const IndexEntry& entry : entries) total += entry.key.size();
  return total;
}

uint16_t CommonKeyPrefix(const std::vector<IndexEntry>& entries, size_t longest) {
  if (entries.size() < 2) return 0;
  std::string_view a = entries.front().key;
  std::string_view b = entries.back().key;
  size_t limit = std::min({a.size(), b.size(), longest});
  size_t n = 0;
  while (n < limit && a[n] == b[n]) ++n;
  return static_cast<uint16_t>(n);
}

void EncodeIndexPage(const IndexPage& page, uint8_t* bytes, const JetFormat& format) {
  const size_t prefix = page.prefix_length;
  const size_t size = EncodedEntriesSize(page, prefix);
  const size_t capacity = format.index_entry_capacity();
  if (size > capacity) {
    throw Error("", "index page entries do not fit (" + std::to_string(size) + " bytes)", ErrorKind::Other);
  }
  if (prefix > MaxIndexPrefixLength(format)) {
    throw Error("", "index page prefix too long for its field (" + std::to_string(prefix) + " bytes)",
                ErrorKind::Other);
  }
  StartPage(bytes, format.page_size, page.leaf ? kIndexLeafPageType : kIndexNodePageType);
  PutU16(bytes + kIndexFreeSpaceOffset, static_cast<uint16_t>(capacity - size));
  PutPageNumber(bytes + kIndexOwnerOffset, page.owner);
  if (format.index_unknown_u32 != 0) PutU32(bytes + format.index_unknown_u32, page.unknown_u32);
  PutPageNumber(bytes + format.index_prev, page.prev);
  PutPageNumber(bytes + format.index_next, page.next);
  PutPageNumber(bytes + format.index_tail, page.leaf ? kNoPage : page.tail);
  if (format.index_prefix_size == 1) {
    bytes[format.index_prefix] = static_cast<uint8_t>(prefix);
  } else {
    PutU16(bytes + format.index_prefix, page.prefix_length);
  }
  bytes[format.index_unknown_byte] = page.unknown_byte;

  uint8_t* bitmap = bytes + format.index_bitmap;
  uint8_t* area = bytes + format.index_entries;
  if (page.entries.empty()) return;
  std::string_view first_key = page.entries.front().key;
  if (prefix > first_key.size()) {
    EncodeEntriesSlowly(page, area, bitmap);  // the prefix reaches into the row pointer
    return;
  }
  size_t at = 0;
  for (size_t i = 0; i < page.entries.size(); ++i) {
    const IndexEntry& entry = page.entries[i];
    const size_t skip = i > 0 ? prefix : 0;
    // Checked for every entry, not only the last: the prefix is left out of each, so one that
    // does not share it would be written wrong (or, shorter than it, not at all).
    if (i > 0 && !SharesPrefix(entry.key, first_key, prefix)) {
      throw Error("", "index page entries do not share the page prefix", ErrorKind::Damaged);
    }
    std::memcpy(area + at, entry.key.data() + skip, entry.key.size() - skip);
    at += entry.key.size() - skip;
    at = WritePointers(entry, page.leaf, area + at) - area;
    bitmap[at >> 3] |= static_cast<uint8_t>(1u << (at & 7));
  }
}

}  // namespace engine::jet
