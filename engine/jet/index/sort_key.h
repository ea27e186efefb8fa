// Index entry keys: the bytes an index B-tree stores for a row, before the row pointer. Keys
// compare as unsigned bytes (a prefix sorts first), so every encoder here produces bytes whose
// order is the index order.
//
// One column's part of a key is a flag byte (0x7F ascending / 0x80 descending for a value,
// 0x00 / 0xFF for Null) followed by the value bytes; a key is the parts of the index's
// columns in index order. Text and memo values use the "General (Legacy)" sort order of
// Access 2000-2007 (LCID 0x0409, version 0) in Jet 4 files, and Access 97's "General" order
// in Jet 3 files: case- and mostly accent-insensitive codes, the first 255 UTF-16 units only,
// trailing spaces ignored. Numbers, dates and the rest key alike in both versions. Text
// indexes in other sort orders use code tables the engine does not have: IndexSortOrdersKnown
// tells them apart, and such indexes must be scanned, not searched.
// Layout: FORMAT.md, "Index keys" and "Text index keys".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/jet/format/table_definition.h"
#include "engine/value/value.h"

namespace engine::jet {

// Appends the key part of a text (flag byte included) in the General (Legacy) sort order.
// Never fails: every UTF-16 unit, unpaired surrogates included, has a code.
void AppendTextKey(std::u16string_view text, bool ascending, std::string* key);

// Appends the key part of a text in Access 97's General order, as a Jet 3 row stores the text:
// in the single-byte code page whose upper half is given (engine/text/code_page.h), a unit it
// cannot hold becoming '?'. Never fails.
void AppendJet3TextKey(std::u16string_view text, const char16_t* upper_half, bool ascending, std::string* key);

// Appends the key part of a text in the order of the table's text columns: the version's
// General order (see IndexSortOrdersKnown for when that is the columns' order). Throws
// engine::Error (UnsupportedFormat) for a Jet 3 table whose code page has no table here.
void AppendTableTextKey(const TableDefinition& table, std::u16string_view text, bool ascending, std::string* key);

// Appends the key part of one index column: flag byte and value bytes. `value` must be Null
// or of the column's kind: Text for text and memo, Integer for byte/integer/long, Money,
// Single, Double, DateTime, Flag (a Null yes/no keys as No), Id for GUID, Bytes for binary,
// Numeric for decimal (already at the column's scale: use the overload taking the column
// to rescale). Throws engine::Error (InvalidValue) for a value of another kind or out of the
// column's range, and (UnsupportedFormat) for types that cannot be indexed.
void AppendColumnKey(ColumnType type, const engine::Value& value, bool ascending, std::string* key);

// Same, for a column of a table: decimals are brought to the column's scale first.
void AppendColumnKey(const ColumnDefinition& column, const engine::Value& value, bool ascending,
                     std::string* key);

// The whole entry key of a row for `index`. values_by_column_position[i] is the value of
// table.columns[i]. Throws engine::Error when the index names a column the table lacks or a
// value does not suit its column.
std::string EncodeIndexKey(const TableDefinition& table, const RealIndex& index,
                           const std::vector<engine::Value>& values_by_column_position);

// Same, reusing the caller's buffer (cleared first) to avoid an allocation per row.
void EncodeIndexKey(const TableDefinition& table, const RealIndex& index,
                    const std::vector<engine::Value>& values_by_column_position, std::string* key);

// The key a stored row with these values calls for in `index`, into `key` (cleared first);
// false when the row has no entry there (every key column Null, and the index ignores Nulls).
// `with_null`, when given, says whether a key column is Null (a unique index lets such rows
// repeat a key). `archivi check` and the writer's reading back of an entry's row both judge
// an entry through here. Throws engine::Error as EncodeIndexKey does.
bool RowKeyInIndex(const TableDefinition& table, const RealIndex& index,
                   const std::vector<engine::Value>& values_by_column_position, std::string* key,
                   bool* with_null = nullptr);

// True when the column's text sort order is the one the engine can encode: General (Legacy),
// LCID 0x0409, version 0. Columns that are not text or memo always pass.
bool HasKnownSortOrder(const ColumnDefinition& column);

// True when every text or memo column of the index uses a known sort order, so the engine
// may write entries into it: General in either version, and in Jet 3 files a single-byte code
// page the engine has a table for. An index naming a missing column is not writable either.
bool IndexSortOrdersKnown(const TableDefinition& table, const RealIndex& index);

// True for the column types an index may hold (not OLE, not complex).
bool IsIndexableType(ColumnType type);

}  // namespace engine::jet
