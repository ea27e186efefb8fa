// One index page (type 0x03 node or 0x04 leaf) decoded into its entries, and encoded back,
// in the layout of either version (the offsets are JetFormat's index_* fields).
//
// Bytes of an index page, Jet 4 (4096 bytes) / Jet 3 (2048 bytes):
//   0  type (0x03 node, 0x04 leaf), then 0x01
//   2  u16 free space = page size - end of the last entry
//   4  u32 owning TDEF page
//   8  Jet 4: u32 unknown (kept as read)
//  12 / 8   u32 previous page on the level     16 / 12  u32 next page on the level
//  20 / 16  u32 child-tail page (nodes; 0 on leaves)
//  24 / 20  shared prefix length, u16 / u8     26 / 21  u8 unknown (kept as read)
//  27 / 22  bitmap of 453 / 226 bytes: bit n set where an entry ends at entry-area offset n
// 480 / 248 entries, back to back; every entry after the first omits the first `prefix`
//      bytes, which it shares with the first entry.
// An entry is the key bytes, the row (3-byte big-endian data page, then the row byte) and,
// on node pages, the child page as a big-endian u32. Only the header is little-endian.
// Layout: FORMAT.md, "Index pages".
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "engine/jet/format/format.h"
#include "engine/jet/format/table_definition.h"

namespace engine::jet {

inline constexpr uint8_t kIndexNodePageType = kPageIndexNode;
inline constexpr uint8_t kIndexLeafPageType = kPageIndexLeaf;
inline constexpr size_t kIndexFreeSpaceOffset = kPageFreeSpaceOffset;
inline constexpr size_t kIndexOwnerOffset = kPageOwnerOffset;
// 3-byte data page + 1-byte row number.
inline constexpr size_t kIndexRowPointerSize = 4;
inline constexpr size_t kIndexChildPointerSize = 4;

// The key bytes of one entry. Keys up to kInlineBytes long (most text and every number key)
// sit inside the object, so searching a page's entries reads one block of memory instead of
// following a pointer per key.
class IndexKey {
 public:
  static constexpr size_t kInlineBytes = 32;

  IndexKey() noexcept : size_(0) {}
  IndexKey(std::string_view bytes) { Assign(bytes); }  // NOLINT: keys convert from bytes freely
  IndexKey(const std::string& bytes) { Assign(bytes); }
  IndexKey(const char* bytes) { Assign(bytes); }
  IndexKey(const IndexKey& other) { Assign(other.view()); }
  IndexKey(IndexKey&& other) noexcept { Steal(other); }
  IndexKey& operator=(const IndexKey& other) {
    if (this != &other) {
      Release();
      Assign(other.view());
    }
    return *this;
  }
  IndexKey& operator=(IndexKey&& other) noexcept {
    if (this != &other) {
      Release();
      Steal(other);
    }
    return *this;
  }
  ~IndexKey() { Release(); }

  const char* data() const { return size_ <= kInlineBytes ? inline_ : heap_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  char operator[](size_t i) const { return data()[i]; }
  std::string_view view() const { return {data(), size_}; }
  operator std::string_view() const { return view(); }  // NOLINT
  std::string str() const { return std::string(view()); }

  // Two keys compare by this one, not through std::string_view both ways round, which C++20
  // finds ambiguous.
  friend bool operator==(const IndexKey& a, const IndexKey& b) { return a.view() == b.view(); }
  friend bool operator==(const IndexKey& a, std::string_view b) { return a.view() == b; }
  friend std::ostream& operator<<(std::ostream& out, const IndexKey& key);  // hex, for tests

 private:
  void Assign(std::string_view bytes);
  // Inline here, and the whole inline block copied at a fixed size (which carries the heap
  // pointer too): a page's entries are moved one by one each time an entry is inserted in
  // the middle of it.
  void Steal(IndexKey& other) noexcept {
    std::memcpy(inline_, other.inline_, kInlineBytes);
    size_ = other.size_;
    other.size_ = 0;
  }
  void Release() noexcept {
    if (size_ > kInlineBytes) delete[] heap_;
    size_ = 0;
  }

  union {
    char inline_[kInlineBytes];
    char* heap_;
  };
  uint32_t size_;
};

// One index entry: the key bytes and the row they point at; on node pages also the child page
// whose subtree ends with this key and row.
struct IndexEntry {
  IndexKey key;
  RowId row;
  PageNumber child;
};

// Key bytes alone, unsigned.
inline int CompareKeys(std::string_view a, std::string_view b) {
  return a.compare(b);  // char_traits<char> compares as unsigned char
}
// Index order: key bytes compared unsigned (a prefix sorts first), then the row pointer.
// Inline: every step of every descent and binary search calls it.
inline std::strong_ordering CompareEntries(std::string_view key_a, RowId row_a, std::string_view key_b,
                                           RowId row_b) {
  const int by_key = CompareKeys(key_a, key_b);
  if (by_key != 0) return by_key < 0 ? std::strong_ordering::less : std::strong_ordering::greater;
  return row_a <=> row_b;
}
inline std::strong_ordering CompareEntries(const IndexEntry& a, const IndexEntry& b) {
  return CompareEntries(a.key, a.row, b.key, b.row);
}

struct IndexPage {
  bool leaf = true;
  PageNumber owner;  // TDEF page of the table
  PageNumber prev;
  PageNumber next;
  PageNumber tail;  // nodes: rightmost child, which has no entry of its own
  uint16_t prefix_length = 0;
  uint32_t unknown_u32 = 0;  // Jet 4 only
  uint8_t unknown_byte = 0;
  std::vector<IndexEntry> entries;
  // The sum of the entries' key sizes, so that whether a page has room is known without
  // walking its entries on every insert: DecodeIndexPage sets it and IndexTree keeps it as
  // it changes the entries. Pages put together by hand may leave it 0; EncodeIndexPage and
  // EncodedEntriesSize do not read it.
  size_t key_bytes = 0;

  size_t pointer_size() const {
    return leaf ? kIndexRowPointerSize : kIndexRowPointerSize + kIndexChildPointerSize;
  }
};

// Reads an index page. Throws engine::Error (without a file name; callers add it) when the
// bytes are not a consistent index page: wrong type, bitmap past the free-space field,
// an entry shorter than its pointers, a prefix longer than the first entry, entries not in
// strictly increasing index order.
IndexPage DecodeIndexPage(const uint8_t* bytes, PageNumber page_number, const JetFormat& format);

// Bytes the entries take on the page with the given prefix length.
size_t EncodedEntriesSize(const IndexPage& page, size_t prefix_length);
// The same from page.key_bytes, without walking the entries.
size_t EncodedEntriesSizeFromKeyBytes(const IndexPage& page, size_t prefix_length);
// The sum of the entries' key sizes, counted.
size_t SumOfKeySizes(const std::vector<IndexEntry>& entries);
size_t EncodedEntriesSize(const IndexPage& page);  // with page.prefix_length

// The longest prefix the page's field holds: 255 in Jet 3 (one byte), 65535 in Jet 4.
inline size_t MaxIndexPrefixLength(const JetFormat& format) {
  return (size_t{1} << (8 * format.index_prefix_size)) - 1;
}

// The prefix a writer chooses: the bytes the first and last keys share (all keys between them
// share them too), at most `longest` (see MaxIndexPrefixLength). Zero for fewer than two
// entries.
uint16_t CommonKeyPrefix(const std::vector<IndexEntry>& entries, size_t longest = 0xFFFF);

// Writes the whole page (format.page_size bytes): header, bitmap, entries, zeros after them.
// Entries must be in index order. Uses page.prefix_length as given; throws engine::Error when
// the entries do not fit, one of them does not share that prefix, or the prefix is longer
// than the format's field holds.
void EncodeIndexPage(const IndexPage& page, uint8_t* bytes, const JetFormat& format);

// The full bytes of one entry as the page stores it before prefix compression.
std::string EntryBytes(const IndexEntry& entry, bool leaf);

}  // namespace engine::jet
