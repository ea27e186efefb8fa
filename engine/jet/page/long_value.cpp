// Long values (memo, OLE): see long_value.h for the bytes.
#include "engine/jet/page/long_value.h"

#include <unordered_set>

#include "engine/bytes.h"
#include "engine/jet/format/byte_reader.h"
#include "engine/jet/page/data_page.h"

namespace engine::jet {
namespace {

constexpr uint32_t kInline = 0x80000000;
constexpr uint32_t kSingleRow = 0x40000000;
constexpr uint32_t kLengthMask = 0x3FFFFFFF;
constexpr size_t kChainPointerSize = 4;

}  // namespace

void ReadLongValue(PageStore& pager, const uint8_t* field, size_t field_size, std::vector<uint8_t>& out) {
  out.clear();
  if (field_size < kLongValueHeaderSize) pager.Damaged("a memo or OLE value is cut short");
  const uint32_t word = GetU32(field);
  const size_t length = word & kLengthMask;
  const RowPointer first = RowPointer::FromPacked(GetU32(field + 4));

  if (word & kInline) {
    if (length > field_size - kLongValueHeaderSize) pager.Damaged("a memo or OLE value is longer than its row");
    out.assign(field + kLongValueHeaderSize, field + kLongValueHeaderSize + length);
    return;
  }
  if (word & kSingleRow) {
    RowSlot row = ReadRowSlot(pager, first.page, first.row);
    if (length > row.size) pager.Damaged("a memo or OLE value is longer than its page row");
    out.assign(row.data, row.data + length);
    return;
  }
  // A chain. Memory grows only with bytes actually found in the file, never with the length
  // the header claims, and a visited set stops loops.
  std::unordered_set<uint32_t> visited;
  RowPointer at = first;
  while (out.size() < length) {
    if (at.page == 0) pager.Damaged("a memo or OLE value ends before its length");
    if (!visited.insert(at.packed()).second) pager.Damaged("a memo or OLE value's pages form a loop");
    RowSlot row = ReadRowSlot(pager, at.page, at.row);
    if (row.size < kChainPointerSize) pager.Damaged("a memo or OLE page row is cut short");
    const size_t chunk = std::min(row.size - kChainPointerSize, length - out.size());
    out.insert(out.end(), row.data + kChainPointerSize, row.data + kChainPointerSize + chunk);
    at = RowPointer::FromPacked(GetU32(row.data));
  }
}

}  // namespace engine::jet
