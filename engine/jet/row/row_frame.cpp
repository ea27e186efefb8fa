// Row frames, read and written: see row_frame.h for the bytes.
#include "engine/jet/row/row_frame.h"

#include <algorithm>
#include <cstring>

#include "engine/base/bytes.h"
#include "engine/base/error.h"
#include "engine/jet/page/data_page.h"

namespace engine::jet {
namespace {

// The Jet 4 trailer, counted back from the end of a row of `size` bytes with a null mask of
// `mask` bytes: the u16 slot count just before the mask, then the u16 offset of slot v (v = n
// is the end of the variable data).
constexpr size_t kJet4OffsetSize = kJet4Format.row_count_size;
size_t Jet4SlotCountAt(size_t size, size_t mask) { return size - mask - kJet4OffsetSize; }
size_t Jet4OffsetAt(size_t size, size_t mask, size_t v) { return size - mask - kJet4OffsetSize * (v + 2); }

// Jet 4: u16 offsets before the slot count, slot 0's nearest.
void ReadJet4Offsets(CrackedRow& row, size_t mask, size_t count, const std::string& file) {
  if (row.size < row.fixed_start + mask + kJet4OffsetSize * (count + 2)) {
    ThrowDamaged(file, "a row has more variable columns than bytes");
  }
  row.data_end = Jet4OffsetAt(row.size, mask, count);
  row.var_offsets.resize(count + 1);
  uint32_t* out = row.var_offsets.data();
  const uint8_t* at = row.data + Jet4OffsetAt(row.size, mask, 0);  // walks back, one offset a step
  for (size_t v = 0; v <= count; ++v, at -= kJet4OffsetSize) {
    const uint32_t offset = GetU16(at);
    if (offset > row.data_end) ThrowDamaged(file, "a row's column lies past its end");
    out[v] = offset;
  }
}

// Jet 3: single-byte offsets, and before the slot count one jump byte per 256 bytes of row;
// each names the first slot whose offset needs one more multiple of 256.
void ReadJet3Offsets(CrackedRow& row, size_t mask, size_t count, const std::string& file) {
  const uint8_t* d = row.data;
  const size_t size = row.size;
  const size_t jumps_in_row = (size - 1) / 256;
  if (size < mask + 2 + jumps_in_row + count + 1) ThrowDamaged(file, "a row has more variable columns than bytes");
  const size_t first_offset = size - mask - 2 - jumps_in_row;  // off[0]; off[i] at first_offset - i
  size_t jumps = jumps_in_row;
  if ((first_offset - count) / 256 < jumps_in_row) --jumps;  // the last jump byte is a filler
  row.data_end = first_offset - count;
  row.var_offsets.resize(count + 1);
  size_t used = 0;
  for (size_t i = 0; i <= count; ++i) {
    while (used < jumps && d[size - mask - 2 - used] == i) ++used;
    const uint32_t offset = d[first_offset - i] + 256 * static_cast<uint32_t>(used);
    if (offset > row.data_end) ThrowDamaged(file, "a row's column lies past its end");
    row.var_offsets[i] = offset;
  }
}

// The column count, or the variable slot count: u8 in Jet 3, u16 in Jet 4.
template <size_t kCountSize>
size_t ReadCount(const uint8_t* p) {
  if constexpr (kCountSize == 1) {
    return p[0];
  } else {
    return GetU16(p);
  }
}

// The frame of a row whose counts are kCountSize bytes wide. One copy per version: the width
// is a constant inside, and CrackRow picks the copy with a single test per row.
template <size_t kCountSize>
void CrackFrame(bool has_var_columns, const uint8_t* data, size_t size, CrackedRow& row, const std::string& file) {
  row.data = data;
  row.size = size;
  row.var_offsets.clear();
  row.fixed_start = kCountSize;
  if (size < kCountSize) ThrowDamaged(file, "a row is too short");
  row.column_count = static_cast<uint32_t>(ReadCount<kCountSize>(data));
  const size_t mask = NullMaskSize(row.column_count);
  if (size < kCountSize + mask) ThrowDamaged(file, "a row is too short for its columns");
  row.null_mask = data + size - mask;
  row.data_end = size - mask;
  if (!has_var_columns) return;
  // The slot count sits just before the null mask, and before it at least one offset.
  if (size < kCountSize + mask + 2 * kCountSize) ThrowDamaged(file, "a row is too short for its columns");
  const size_t count = ReadCount<kCountSize>(data + size - mask - kCountSize);
  if constexpr (kCountSize == 1) {
    ReadJet3Offsets(row, mask, count, file);
  } else {
    ReadJet4Offsets(row, mask, count, file);
  }
}

}  // namespace

void CrackRow(const JetFormat& format, bool has_var_columns, const uint8_t* data, size_t size, CrackedRow& row,
              const std::string& file) {
  if (format.is_jet3()) {
    CrackFrame<kJet3Format.row_count_size>(has_var_columns, data, size, row, file);
  } else {
    CrackFrame<kJet4Format.row_count_size>(has_var_columns, data, size, row, file);
  }
}

namespace {

// The Jet 4 trailer after the variable data: end of data and slot starts as u16 (slot 0's
// nearest the count), the u16 slot count.
void WriteJet4Offsets(std::string& row, const std::vector<size_t>& offsets, size_t mask, uint16_t var_columns) {
  row.resize(row.size() + kJet4OffsetSize * (offsets.size() + 1) + mask, '\0');
  const size_t size = row.size();
  uint8_t* bytes = reinterpret_cast<uint8_t*>(row.data());
  PutU16(bytes + Jet4SlotCountAt(size, mask), var_columns);
  for (size_t v = 0; v < offsets.size(); ++v) {
    PutU16(bytes + Jet4OffsetAt(size, mask, v), static_cast<uint16_t>(std::min<size_t>(offsets[v], 0xFFFF)));
  }
}

// The Jet 3 trailer: each offset's low byte, then one jump byte per 256 bytes of row (as
// ReadJet3Offsets counts them, (L - 1) / 256), then the u8 slot count. Jump j names the first
// slot whose offset reaches (j + 1) * 256; a jump byte the data never needs (the trailer pushed
// L over a multiple of 256) is a filler, which readers drop, as they drop it here.
void WriteJet3Offsets(std::string& row, const std::vector<size_t>& offsets, size_t mask, uint8_t var_columns) {
  const size_t data_end = offsets.back();
  const size_t fixed_part = data_end + offsets.size() + 1 + mask;  // without the jump bytes
  size_t jumps = 0;
  while ((fixed_part + jumps - 1) / 256 > jumps) ++jumps;
  const size_t needed = data_end / 256;  // the multiples of 256 the offsets reach
  // A reader drops at most one jump byte; a trailer so long that two are spare cannot be told.
  if (needed + 1 < jumps) {
    throw Error("", "a record of this table has too many columns for an Access 97 row", ErrorKind::InvalidValue);
  }
  row.resize(fixed_part + jumps, '\0');
  const size_t size = row.size();
  uint8_t* bytes = reinterpret_cast<uint8_t*>(row.data());
  bytes[size - mask - 1] = var_columns;
  size_t slot = 0;
  for (size_t j = 0; j < jumps; ++j) {
    if (j >= needed) {
      bytes[size - mask - 2 - j] = 0xFF;  // filler
      continue;
    }
    while (offsets[slot] < (j + 1) * 256) ++slot;
    bytes[size - mask - 2 - j] = static_cast<uint8_t>(slot);
  }
  const size_t first_offset = size - mask - 2 - jumps;
  for (size_t i = 0; i < offsets.size(); ++i) bytes[first_offset - i] = static_cast<uint8_t>(offsets[i] & 0xFF);
}

}  // namespace

std::string EncodeRow(const TableDefinition& table, const std::vector<EncodedField>& fields) {
  const JetFormat& format = FormatOf(table.version);
  const size_t fixed_start = format.row_count_size;
  size_t fixed_size = 0;
  std::vector<int> by_var_slot(table.var_columns, -1);
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const ColumnDefinition& column = table.columns[i];
    if (column.type == ColumnType::Boolean) continue;
    if (column.is_fixed()) {
      fixed_size = std::max<size_t>(fixed_size, column.fixed_offset + column.length);
    } else if (column.var_index < table.var_columns) {
      by_var_slot[column.var_index] = static_cast<int>(i);
    }
  }
  // A damaged definition could count more columns than a Jet 3 row's single bytes can.
  if (format.is_jet3() && (table.max_columns > 0xFF || table.var_columns > 0xFF)) {
    throw Error("", "the table counts more columns than an Access 97 row can hold", ErrorKind::Damaged);
  }
  std::string row(fixed_start + fixed_size, '\0');
  if (format.is_jet3()) {
    row[0] = static_cast<char>(table.max_columns);
  } else {
    PutU16(reinterpret_cast<uint8_t*>(row.data()), table.max_columns);
  }
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const ColumnDefinition& column = table.columns[i];
    if (!fields[i].present || !column.is_fixed() || column.type == ColumnType::Boolean) continue;
    std::memcpy(row.data() + fixed_start + column.fixed_offset, fields[i].bytes.data(),
                std::min<size_t>(fields[i].bytes.size(), column.length));
  }
  const size_t mask = NullMaskSize(table.max_columns);
  if (table.var_columns > 0) {
    // offsets[v]: where slot v starts; offsets[n]: the end of the variable data.
    std::vector<size_t> offsets(table.var_columns + 1u);
    for (size_t v = 0; v < table.var_columns; ++v) {
      offsets[v] = row.size();
      const int position = by_var_slot[v];
      if (position >= 0 && fields[position].present) row += fields[position].bytes;
    }
    offsets.back() = row.size();
    if (format.is_jet3()) {
      WriteJet3Offsets(row, offsets, mask, static_cast<uint8_t>(table.var_columns));
    } else {
      WriteJet4Offsets(row, offsets, mask, table.var_columns);
    }
  } else {
    row.resize(row.size() + mask, '\0');
  }
  uint8_t* null_mask = reinterpret_cast<uint8_t*>(row.data()) + row.size() - mask;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const uint16_t number = table.columns[i].number;
    if (fields[i].present && number < table.max_columns) null_mask[number >> 3] |= static_cast<uint8_t>(1u << (number & 7));
  }
  if (row.size() > format.max_row_size) {
    throw Error("", "the record is " + std::to_string(row.size()) + " bytes long; a record holds at most " +
                        std::to_string(format.max_row_size) + " bytes apart from memo fields",
                ErrorKind::InvalidValue);
  }
  return row;
}

}  // namespace engine::jet
