// The system tables of a new Access 2000 or Access 97 database and the rows it starts with, as
// data: MSysObjects (the catalogue: containers, the database object, tables), MSysACEs (the
// permissions of those objects), MSysQueries and MSysRelationships (empty). Column numbers,
// types, lengths, descriptor flags and indexes are those of the databases Jet itself creates;
// Jet 3's differ only in MSysQueries (no LvExtra), in binary lengths and in security ids.
// Layout: FORMAT.md, "New databases and tables" and "The system catalogue".
#pragma once

#include <cstdint>
#include <vector>

#include "engine/jet/catalog/catalog_ids.h"
#include "engine/jet/create/table_creator.h"
#include "engine/value/value.h"

namespace engine::jet {

// In the order of their TDEF pages (2, 3, 4, 5): MSysObjects first, since page 2 is where
// every reader looks for the catalogue.
const std::vector<TableSpec>& SystemTableSpecs(JetVersion version = JetVersion::Jet4);

// The security ids (2 bytes in a database without a workgroup file) Jet writes into the
// system objects: the engine's, the creator's, the admins' and the users' groups.
struct SecurityIds {
  engine::BinaryData engine, creator, admins, users;
};
const SecurityIds& SecurityIdsOf(JetVersion version);

// MSysObjects rows of a new database (values by column position), in the order Jet writes
// them; `system_tdef_pages` are the TDEF pages of the system tables, in SystemTableSpecs order.
std::vector<std::vector<engine::Value>> InitialCatalogueRows(const std::vector<PageNumber>& system_tdef_pages,
                                                             double creation_days,
                                                             JetVersion version = JetVersion::Jet4);

// MSysACEs rows: who may do what with the containers, MSysDb and the system tables.
std::vector<std::vector<engine::Value>> InitialPermissionRows(const std::vector<PageNumber>& system_tdef_pages,
                                                              JetVersion version = JetVersion::Jet4);

}  // namespace engine::jet
