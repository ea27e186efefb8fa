// Long values (memo, OLE): see long_value.h for the bytes.
#include "engine/jet/page/long_value.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "engine/jet/format/byte_reader.h"
#include "engine/jet/page/data_page.h"

namespace engine::jet {

LongValueHeader LongValueHeader::Decode(const uint8_t* field) {
  LongValueHeader header;
  const uint32_t word = GetU32(field);
  header.length = word & kLongValueLengthMask;
  header.flags = word & ~kLongValueLengthMask;
  header.first = DecodeRowPointer(field + 4);
  return header;
}

void LongValueHeader::Encode(uint8_t* out) const {
  std::memset(out, 0, kLongValueHeaderSize);
  PutU32(out, length | flags);
  EncodeRowPointer(first, out + 4);
}

void ReadLongValue(PageStore& store, const uint8_t* field, size_t field_size, std::vector<uint8_t>& out) {
  out.clear();
  if (field_size < kLongValueHeaderSize) store.Damaged("a memo or OLE value is cut short");
  const LongValueHeader header = LongValueHeader::Decode(field);
  const size_t length = header.length;
  // No value is longer than the file that holds it; a longer length was overwritten, and a
  // chain whose rows overlap could otherwise gather up to a gigabyte from a small file.
  if (length > uint64_t{store.page_count()} * store.page_size()) store.Damaged("a memo or OLE value is longer than the file");

  if (header.is_inline()) {
    if (length > field_size - kLongValueHeaderSize) store.Damaged("a memo or OLE value is longer than its row");
    out.assign(field + kLongValueHeaderSize, field + kLongValueHeaderSize + length);
    return;
  }
  if (header.single_row()) {
    RowSlot row = ReadRowSlot(store, header.first.page, header.first.row);
    if (length > row.size) store.Damaged("a memo or OLE value is longer than its page row");
    out.assign(row.data, row.data + length);
    return;
  }
  // A chain. Memory grows only with bytes actually found in the file, never with the length
  // the header claims, and a visited set stops loops.
  std::unordered_set<uint32_t> visited;
  RowId at = header.first;
  while (out.size() < length) {
    if (at.page.is_none()) store.Damaged("a memo or OLE value ends before its length");
    if (!visited.insert(at.packed()).second)
      store.Damaged("a memo or OLE value's pages form a loop");
    RowSlot row = ReadRowSlot(store, at.page, at.row);
    if (row.size < kLongValuePointerSize) store.Damaged("a memo or OLE page row is cut short");
    const size_t chunk = std::min(row.size - kLongValuePointerSize, length - out.size());
    out.insert(out.end(), row.data + kLongValuePointerSize, row.data + kLongValuePointerSize + chunk);
    at = DecodeRowPointer(row.data);
  }
}

}  // namespace engine::jet
