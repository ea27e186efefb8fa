// Adding a relationship to a Jet 4 database, as Access's Relationships window stores it:
// one MSysRelationships row per column pair (bytes: FORMAT.md, "Relationships"). Jet also
// marks a relationship in the foreign-key entries of both tables' logical indexes; this
// engine keeps relationships from MSysRelationships alone and does not write those entries,
// so Access shows such a relationship but enforces it only once it is made again there.
#pragma once

#include <filesystem>

#include "engine/jet/catalog/relationships.h"

namespace engine::jet {

// Throws engine::Error when a table or column is missing, the pairs are uneven or empty, a
// relationship of that name exists, or the referenced columns are not exactly the columns of a
// unique index (Jet needs one to find the referenced row). The file changes only when
// everything succeeded.
void CreateRelationship(const std::filesystem::path& file, const Relationship& relationship);

}  // namespace engine::jet
