// System table layouts and starting rows: see system_tables.h.
#include "engine/jet/create/system_tables.h"

#include "engine/jet/format/format.h"

namespace engine::jet {
namespace {

// Descriptor flags Jet gives system columns: 0x02 updatable, 0x01 fixed length, 0x10 and
// 0x20 (binary security ids) as found in every Jet 4 database.
constexpr uint8_t kSysFixed = 0x13;
constexpr uint8_t kSysVariable = 0x12;
constexpr uint8_t kSysSecurityId = 0x32;

ColumnSpec Sys(const char16_t* name, ColumnType type, uint8_t flags, uint16_t max_chars = 0) {
  ColumnSpec column;
  column.name = name;
  column.type = type;
  column.flags_override = flags;
  column.max_chars = max_chars;
  column.compressed_unicode = false;  // Jet stores system names as plain UCS-2
  return column;
}

IndexSpec Index(const char16_t* name, std::vector<const char16_t*> columns, bool primary, bool unique,
                bool ignore_nulls, bool required) {
  IndexSpec index;
  index.name = name;
  for (const char16_t* column : columns) index.columns.push_back({column, true});
  index.primary = primary;
  index.unique = unique;
  index.ignore_nulls = ignore_nulls;
  index.required = required;
  return index;
}

std::vector<TableSpec> MakeSpecs(JetVersion version) {
  using T = ColumnType;
  const bool jet3 = version == JetVersion::Jet3;
  // Jet 3's binary columns hold at most 255 bytes, Jet 4's 510; system ids use the whole.
  const uint16_t binary = static_cast<uint16_t>(FormatOf(version).max_binary_length);
  TableSpec objects{
      u"MSysObjects",
      {Sys(u"Id", T::Long, kSysFixed), Sys(u"ParentId", T::Long, kSysFixed), Sys(u"Name", T::Text, kSysVariable, 255),
       Sys(u"Type", T::Integer, kSysFixed), Sys(u"DateCreate", T::DateTime, kSysFixed),
       Sys(u"DateUpdate", T::DateTime, kSysFixed), Sys(u"Owner", T::Binary, kSysSecurityId, binary),
       Sys(u"Flags", T::Long, kSysFixed), Sys(u"Database", T::Memo, kSysVariable),
       Sys(u"Connect", T::Memo, kSysVariable), Sys(u"ForeignName", T::Text, kSysVariable, 255),
       Sys(u"RmtInfoShort", T::Binary, kSysVariable, binary), Sys(u"RmtInfoLong", T::Ole, kSysVariable),
       Sys(u"Lv", T::Ole, kSysVariable), Sys(u"LvProp", T::Ole, kSysVariable), Sys(u"LvModule", T::Ole, kSysVariable),
       Sys(u"LvExtra", T::Ole, kSysVariable)},
      {Index(u"ParentIdName", {u"ParentId", u"Name"}, false, true, false, false),
       Index(u"Id", {u"Id"}, true, true, false, false)},
      true};
  TableSpec aces{u"MSysACEs",
                 {Sys(u"ObjectId", T::Long, kSysFixed), Sys(u"SID", T::Binary, kSysSecurityId, binary),
                  Sys(u"ACM", T::Long, kSysFixed), Sys(u"FInheritable", T::Boolean, kSysFixed)},
                 {Index(u"ObjectId", {u"ObjectId"}, false, false, false, true)},
                 true};
  TableSpec queries{u"MSysQueries",
                    {Sys(u"ObjectId", T::Long, kSysFixed), Sys(u"Attribute", T::Byte, kSysFixed),
                     Sys(u"Order", T::Binary, kSysVariable, binary), Sys(u"Name1", T::Text, kSysVariable, 255),
                     Sys(u"Name2", T::Text, kSysVariable, 255), Sys(u"Expression", T::Memo, kSysVariable),
                     Sys(u"Flag", T::Integer, kSysFixed), Sys(u"LvExtra", T::Long, kSysFixed)},
                    {Index(u"ObjectIdAttribute", {u"ObjectId", u"Attribute", u"Order"}, true, true, false, false)},
                    true};
  if (jet3) queries.columns.pop_back();  // Access 97's MSysQueries has no LvExtra
  TableSpec relationships{
      u"MSysRelationships",
      {Sys(u"szRelationship", T::Text, kSysVariable, 255), Sys(u"grbit", T::Long, kSysFixed),
       Sys(u"ccolumn", T::Long, kSysFixed), Sys(u"icolumn", T::Long, kSysFixed),
       Sys(u"szObject", T::Text, kSysVariable, 255), Sys(u"szColumn", T::Text, kSysVariable, 255),
       Sys(u"szReferencedObject", T::Text, kSysVariable, 255), Sys(u"szReferencedColumn", T::Text, kSysVariable, 255)},
      {Index(u"szRelationship", {u"szRelationship"}, false, false, true, false),
       Index(u"szObject", {u"szObject"}, false, false, true, false),
       Index(u"szReferencedObject", {u"szReferencedObject"}, false, false, true, false)},
      true};
  return {objects, aces, queries, relationships};
}

}  // namespace

const std::vector<TableSpec>& SystemTableSpecs(JetVersion version) {
  static const std::vector<TableSpec> jet3 = MakeSpecs(JetVersion::Jet3);
  static const std::vector<TableSpec> jet4 = MakeSpecs(JetVersion::Jet4);
  return version == JetVersion::Jet3 ? jet3 : jet4;
}

const SecurityIds& SecurityIdsOf(JetVersion version) {
  // As Access 97 and Access 2000 write them into the files they create.
  static const SecurityIds jet3{{0x03, 0x01}, {0x02, 0x03}, {0x02, 0x04}, {0x02, 0x01}};
  static const SecurityIds jet4{{0x64, 0x8B}, {0x65, 0x89}, {0x65, 0x8E}, {0x65, 0x8B}};
  return version == JetVersion::Jet3 ? jet3 : jet4;
}

std::vector<std::vector<Value>> InitialCatalogueRows(const std::vector<PageNumber>& system_tdef_pages,
                                                     double creation_days, JetVersion version) {
  const SecurityIds& sid = SecurityIdsOf(version);
  const size_t columns = SystemTableSpecs(version)[0].columns.size();
  auto row = [&](int64_t id, int64_t parent, const char16_t* name, int64_t type, const BinaryData& owner) {
    std::vector<Value> values(columns);
    values[0] = Value::Integer(id);
    values[1] = Value::Integer(parent);
    values[2] = Value::Text(name);
    values[3] = Value::Integer(type);
    values[4] = Value::DateTime({creation_days});
    values[5] = Value::DateTime({creation_days});
    values[6] = Value::Bytes(owner);
    values[7] = Value::Integer(static_cast<int32_t>(kSystemObjectFlag));
    return values;
  };
  std::vector<std::vector<Value>> rows = {
      row(kTablesId, kRootContainerId, u"Tables", kObjectTypeContainer, sid.creator),
      row(kDatabasesId, kRootContainerId, u"Databases", kObjectTypeContainer, sid.creator),
      row(kRelationshipsId, kRootContainerId, u"Relationships", kObjectTypeContainer, sid.creator),
      row(kMSysDbId, kDatabasesId, u"MSysDb", kObjectTypeDatabase, sid.engine),
  };
  const std::vector<TableSpec>& specs = SystemTableSpecs(version);
  for (size_t i = 0; i < specs.size() && i < system_tdef_pages.size(); ++i) {
    rows.push_back(row(system_tdef_pages[i].value(), kTablesId, specs[i].name.c_str(), kObjectTypeTable, sid.creator));
  }
  return rows;
}

std::vector<std::vector<Value>> InitialPermissionRows(const std::vector<PageNumber>& pages, JetVersion version) {
  const SecurityIds& sid = SecurityIdsOf(version);
  auto ace = [](int64_t object, const BinaryData& who, int64_t rights, bool inheritable) {
    return std::vector<Value>{Value::Integer(object), Value::Bytes(who), Value::Integer(rights),
                              Value::Flag(inheritable)};
  };
  // A table's object id is its TDEF page.
  const int64_t objects = pages.at(0).value(), aces = pages.at(1).value(), queries = pages.at(2).value(),
                relationships = pages.at(3).value();
  // Access rights masks: the engine may read and write the system tables, the admins
  // administer the containers, users may read the catalogue and use the containers.
  return {
      ace(objects, sid.engine, 0x60000, false),         ace(aces, sid.engine, 0x60000, false),
      ace(queries, sid.engine, 0x60000, false),         ace(relationships, sid.engine, 0xE0000, false),
      ace(kTablesId, sid.admins, 0xF00FE, true),        ace(kTablesId, sid.engine, 0x60001, false),
      ace(kRelationshipsId, sid.admins, 0xF00FE, true), ace(kRelationshipsId, sid.engine, 0x60001, false),
      ace(kDatabasesId, sid.engine, 0x60000, false),    ace(kMSysDbId, sid.engine, 0x6000E, false),
      ace(kMSysDbId, sid.users, 0x0E, false),           ace(queries, sid.users, 0x14, false),
      ace(relationships, sid.users, 0x14, false),       ace(objects, sid.users, 0x14, false),
      ace(kTablesId, sid.users, 0xFFEFF, true),         ace(kRelationshipsId, sid.users, 0xFFFFF, true),
  };
}

}  // namespace engine::jet
