// Reading MSysObjects: see catalog.h.
#include "engine/jet/catalog/catalog.h"

#include "engine/text/case_fold.h"
#include "engine/jet/catalog/table_definition_reader.h"
#include "engine/jet/page/data_page.h"
#include "engine/jet/row/row_decoder.h"
#include "engine/jet/row/table_scan.h"

namespace engine::jet {
namespace {

struct CatalogRow {
  std::u16string name;
  int64_t id = 0, parent = 0, type = 0, flags = 0;
  RowId row;
};

int ColumnOf(PageStore& pager, const TableDefinition& objects, std::u16string_view name) {
  for (size_t i = 0; i < objects.columns.size(); ++i) {
    if (SameName(objects.columns[i].name, name)) return static_cast<int>(i);
  }
  pager.Damaged("the table list has no column " + ToUtf8(name));
}

int64_t IntegerOr(const Value& value, int64_t fallback) {
  return value.type() == Value::Type::Integer ? value.integer() : fallback;
}

}  // namespace

std::vector<CatalogEntry> ReadCatalog(PageStore& pager, const TextDecoder& text) {
  const TableDefinition objects = ReadTableDefinition(pager, text, kCatalogTdefPage, u"MSysObjects");
  auto find = [&](std::u16string_view name) { return ColumnOf(pager, objects, name); };
  const int id_column = find(u"Id"), parent_column = find(u"ParentId"), name_column = find(u"Name"),
            type_column = find(u"Type"), flags_column = find(u"Flags");

  RowDecoder decoder(pager, objects, text);
  CrackedRow cracked;
  std::vector<CatalogRow> rows;
  int64_t tables_container = kTablesId;  // the usual Id; the row named "Tables" says
  for (RowId id : ListLiveRows(pager, objects)) {
    RowSlot slot = ReadLiveRow(pager, id);
    decoder.Crack(slot.data, slot.size, cracked);
    CatalogRow row;
    row.row = id;
    const Value name = decoder.Decode(cracked, name_column);
    if (name.type() == Value::Type::Text) row.name = name.text();
    row.id = IntegerOr(decoder.Decode(cracked, id_column), 0);
    row.parent = IntegerOr(decoder.Decode(cracked, parent_column), -1);
    row.type = IntegerOr(decoder.Decode(cracked, type_column), -1);
    row.flags = IntegerOr(decoder.Decode(cracked, flags_column), 0);
    if (row.parent == kRootContainerId && row.name == u"Tables") tables_container = row.id;
    rows.push_back(std::move(row));
  }

  std::vector<CatalogEntry> tables;
  for (const CatalogRow& row : rows) {
    if (row.type != kObjectTypeTable || row.parent != tables_container || row.name.empty()) continue;
    CatalogEntry entry;
    entry.name = row.name;
    entry.tdef_page = PageNumber(static_cast<uint32_t>(row.id) & kObjectIdPageMask);
    entry.is_system = (static_cast<uint32_t>(row.flags) & kSystemObjectBits) != 0;
    entry.row = row.row;
    tables.push_back(std::move(entry));
  }
  return tables;
}

std::vector<uint8_t> ReadPropertyBytes(PageStore& pager, const TextDecoder& text, const CatalogEntry& table) {
  const TableDefinition objects = ReadTableDefinition(pager, text, kCatalogTdefPage, u"MSysObjects");
  const int column = ColumnOf(pager, objects, u"LvProp");
  RowDecoder decoder(pager, objects, text);
  CrackedRow cracked;
  RowSlot slot = ReadLiveRow(pager, table.row);
  decoder.Crack(slot.data, slot.size, cracked);
  Value value = decoder.Decode(cracked, column);
  if (value.type() != Value::Type::Binary) return {};
  return value.binary();
}

}  // namespace engine::jet
