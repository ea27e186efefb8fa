#include "engine/jet/page/long_value_writer.h"

#include <vector>

#include "engine/base/error.h"

namespace engine::jet {
namespace {

std::string Header(uint32_t length, uint32_t flags, RowId first) {
  std::string header(kLongValueHeaderSize, '\0');
  LongValueHeader{length, flags, first}.Encode(reinterpret_cast<uint8_t*>(header.data()));
  return header;
}

}  // namespace

LongValueWriter::LongValueWriter(PageStore& store, PageAllocator& allocator, const ColumnDefinition& column)
    : format_(store.format()),
      placer_(store, allocator, kLongValueOwner, column.lval_owned_map, column.lval_free_map) {}

std::string LongValueWriter::Write(std::string_view data, bool may_inline) {
  if (data.size() > kLongValueLengthMask) {
    throw Error("", "a memo or OLE value is longer than Jet allows", ErrorKind::InvalidValue);
  }
  const uint32_t length = static_cast<uint32_t>(data.size());
  if (may_inline && data.size() <= kMaxInlineLongValue) {
    return Header(length, kLongValueInline, RowId{}) + std::string(data);
  }
  if (data.size() <= MaxSingleRowLongValue(format_)) {
    return Header(length, kLongValueSingleRow, placer_.Place(data));
  }
  // A chain, written from its last chunk back so every row knows where the next one is.
  const size_t chunk_size = LongValueChunk(format_);
  const size_t chunks = (data.size() + chunk_size - 1) / chunk_size;
  RowId next{};
  std::string row;
  for (size_t i = chunks; i-- > 0;) {
    const std::string_view chunk = data.substr(i * chunk_size, chunk_size);
    row.assign(kLongValuePointerSize, '\0');
    EncodeRowPointer(next, reinterpret_cast<uint8_t*>(row.data()));
    row.append(chunk);
    next = placer_.Place(row);
  }
  return Header(length, 0, next);
}

void FreeLongValue(PageStore& store, std::string_view field) {
  if (field.size() < kLongValueHeaderSize) return;
  const LongValueHeader header = LongValueHeader::Decode(reinterpret_cast<const uint8_t*>(field.data()));
  if (header.is_inline()) return;
  RowId at = header.first;
  // A chain never has more rows than the value has chunks; the bound also stops loops.
  size_t remaining = header.length / LongValueChunk(store.format()) + 2;
  while (!at.page.is_none() && remaining-- > 0) {
    if (!store.has_page(at.page)) store.Damaged("a memo or OLE value points past the end of the file");
    CheckedDataPage page = CheckedDataPage::Check(store, at.page, kLongValueOwner);
    if (at.row >= page.slot_count()) store.Damaged("a memo or OLE value points at a row that does not exist");
    const SlotEntry slot = page.slot(at.row);
    if (slot.deleted()) return;  // freed already
    if (!header.single_row() && slot.end - slot.start < kLongValuePointerSize) {
      store.Damaged("a memo or OLE page row is cut short");
    }
    const RowId next = header.single_row() ? RowId{} : DecodeRowPointer(page.row_data(slot));
    page.DeleteRow(at.row);
    if (header.single_row()) return;
    at = next;
  }
}

}  // namespace engine::jet
