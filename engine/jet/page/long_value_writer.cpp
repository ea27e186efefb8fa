#include "engine/jet/page/long_value_writer.h"

#include <vector>

#include "engine/bytes.h"
#include "engine/error.h"
#include "engine/jet/format/writer_bytes.h"

namespace engine::jet {
namespace {

constexpr uint32_t kInlineFlag = 0x80000000;
constexpr uint32_t kSingleRowFlag = 0x40000000;
constexpr uint32_t kLengthMask = 0x3FFFFFFF;

std::string Header(uint32_t length_and_flags, RowId first) {
  std::string header(kLongValueHeaderSize, '\0');
  uint8_t* p = reinterpret_cast<uint8_t*>(header.data());
  PutU32(p, length_and_flags);
  p[4] = first.row;
  PutU24(p + 5, first.page);
  return header;
}

}  // namespace

LongValueWriter::LongValueWriter(PageStore& store, PageAllocator& allocator, const ColumnDefinition& column)
    : store_(store), placer_(store, allocator, kLongValueOwner, column.lval_owned_map, column.lval_free_map) {}

std::string LongValueWriter::Write(std::string_view data, bool may_inline) {
  if (data.size() > kLengthMask) {
    throw Error("", "a memo or OLE value is longer than Jet allows", ErrorKind::InvalidValue);
  }
  const uint32_t length = static_cast<uint32_t>(data.size());
  if (may_inline && data.size() <= kMaxInlineLongValue) {
    return Header(length | kInlineFlag, RowId{}) + std::string(data);
  }
  if (data.size() <= kMaxSingleRowLongValue) {
    return Header(length | kSingleRowFlag, placer_.Place(data));
  }
  // A chain, written from its last chunk back so every row knows where the next one is.
  const size_t chunks = (data.size() + kLongValueChunk - 1) / kLongValueChunk;
  RowId next{};
  std::string row;
  for (size_t i = chunks; i-- > 0;) {
    const std::string_view chunk = data.substr(i * kLongValueChunk, kLongValueChunk);
    row.assign(4, '\0');
    row[0] = static_cast<char>(next.row);
    PutU24(reinterpret_cast<uint8_t*>(row.data()) + 1, next.page);
    row.append(chunk);
    next = placer_.Place(row);
  }
  return Header(length, next);
}

void FreeLongValue(PageStore& store, std::string_view field) {
  if (field.size() < kLongValueHeaderSize) return;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(field.data());
  const uint32_t flags = GetU32(p);
  if (flags & kInlineFlag) return;
  RowId at{GetU24(p + 5), p[4]};
  const bool single = flags & kSingleRowFlag;
  // A chain never has more rows than the value has chunks; the bound also stops loops.
  size_t remaining = (flags & kLengthMask) / kLongValueChunk + 2;
  while (at.page != 0 && at.page < store.page_count() && remaining-- > 0) {
    const uint8_t* page = store.ReadPage(at.page);
    if (page[0] != kDataPageType || GetU32(page + kDataPageOwner) != kLongValueOwner ||
        at.row >= GetU16(page + kDataPageSlotCount)) {
      return;
    }
    const uint16_t slot = GetU16(page + kDataPageSlots + 2 * at.row);
    if (slot & kRowDeletedFlag) return;
    RowId next{};
    if (!single) {
      const uint8_t* row = page + (slot & kRowStartMask);
      next = RowId{GetU24(row + 1), row[0]};
    }
    DeleteRowOnPage(store.WritePage(at.page), at.row);
    if (single) return;
    at = next;
  }
}

}  // namespace engine::jet
