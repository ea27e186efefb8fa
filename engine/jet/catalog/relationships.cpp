// Reading and making MSysRelationships rows: see relationships.h.
#include "engine/jet/catalog/relationships.h"

#include <map>

#include "engine/base/error.h"
#include "engine/jet/catalog/table_definition_reader.h"
#include "engine/jet/page/data_page.h"
#include "engine/jet/row/row_decoder.h"
#include "engine/jet/row/table_scan.h"
#include "engine/text/case_fold.h"

namespace engine::jet {
namespace {

constexpr std::u16string_view kRelationshipsTable = u"MSysRelationships";

// The table's columns, by the names Jet gives them.
struct Columns {
  int name, flags, count, index, table, column, referenced_table, referenced_column;
};

int ColumnOf(const TableDefinition& table, std::u16string_view name, const std::string& file_name) {
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (SameName(table.columns[i].name, name)) return static_cast<int>(i);
  }
  throw Error(file_name, "MSysRelationships has no column " + ToUtf8(name), ErrorKind::Damaged);
}

Columns ColumnsOf(const TableDefinition& table, const std::string& file_name) {
  auto find = [&](std::u16string_view name) { return ColumnOf(table, name, file_name); };
  return {find(u"szRelationship"), find(u"grbit"),  find(u"ccolumn"),           find(u"icolumn"),
          find(u"szObject"),       find(u"szColumn"), find(u"szReferencedObject"), find(u"szReferencedColumn")};
}

std::u16string TextOf(const Value& value) { return value.type() == Value::Type::Text ? value.text() : u""; }

}  // namespace

std::vector<Relationship> ReadRelationships(PageStore& store, const TextDecoder& text,
                                            const std::vector<CatalogEntry>& catalog) {
  const CatalogEntry* entry = nullptr;
  for (const CatalogEntry& candidate : catalog) {
    if (SameName(candidate.name, kRelationshipsTable)) entry = &candidate;
  }
  if (!entry) return {};
  const TableDefinition table = ReadTableDefinition(store, text, entry->tdef_page, entry->name);
  const Columns c = ColumnsOf(table, store.file_name());
  RowDecoder decoder(store, table, text);
  CrackedRow cracked;
  std::vector<Relationship> relationships;
  std::map<std::u16string, size_t> by_name;  // folded name -> place in `relationships`
  // Column pairs by their icolumn, per relationship.
  std::vector<std::map<int64_t, std::pair<std::u16string, std::u16string>>> pairs;
  for (RowId id : ListLiveRows(store, table)) {
    const RowSlot slot = ReadLiveRow(store, id);
    decoder.Crack(slot.data, slot.size, cracked);
    const std::u16string name = TextOf(decoder.Decode(cracked, c.name));
    const std::u16string from = TextOf(decoder.Decode(cracked, c.table));
    const std::u16string to = TextOf(decoder.Decode(cracked, c.referenced_table));
    const std::u16string column = TextOf(decoder.Decode(cracked, c.column));
    const std::u16string referenced = TextOf(decoder.Decode(cracked, c.referenced_column));
    if (name.empty() || from.empty() || to.empty() || column.empty() || referenced.empty()) continue;
    const Value flags = decoder.Decode(cracked, c.flags);
    const Value position = decoder.Decode(cracked, c.index);
    auto [place, added] = by_name.emplace(FoldCase(name), relationships.size());
    if (added) {
      Relationship relationship;
      relationship.name = name;
      relationship.flags =
          flags.type() == Value::Type::Integer ? static_cast<uint32_t>(flags.integer()) : kRelationNotEnforced;
      relationship.table = from;
      relationship.referenced_table = to;
      relationships.push_back(std::move(relationship));
      pairs.emplace_back();
    }
    const int64_t at = position.type() == Value::Type::Integer ? position.integer() : 0;
    pairs[place->second].emplace(at, std::make_pair(column, referenced));
  }
  for (size_t i = 0; i < relationships.size(); ++i) {
    for (auto& [at, pair] : pairs[i]) {
      relationships[i].columns.push_back(pair.first);
      relationships[i].referenced_columns.push_back(pair.second);
    }
  }
  return relationships;
}

std::vector<Value> RelationshipRow(const TableDefinition& table, const Relationship& relationship, size_t pair) {
  const Columns c = ColumnsOf(table, "");
  std::vector<Value> row(table.columns.size());
  row[c.name] = Value::Text(relationship.name);
  row[c.flags] = Value::Integer(static_cast<int32_t>(relationship.flags));
  row[c.count] = Value::Integer(static_cast<int64_t>(relationship.columns.size()));
  row[c.index] = Value::Integer(static_cast<int64_t>(pair));
  row[c.table] = Value::Text(relationship.table);
  row[c.column] = Value::Text(relationship.columns[pair]);
  row[c.referenced_table] = Value::Text(relationship.referenced_table);
  row[c.referenced_column] = Value::Text(relationship.referenced_columns[pair]);
  return row;
}

}  // namespace engine::jet
