// The fixed places and values of the catalogue, MSysObjects (FORMAT.md, "The system
// catalogue"): where its definition is, the ids of the objects every database has, the object
// types and flags.
#pragma once

#include <cstdint>

#include "engine/jet/format/page_number.h"

namespace engine::jet {

inline constexpr PageNumber kCatalogTdefPage{2};

// Ids of the containers and of the database object.
inline constexpr uint32_t kRootContainerId = 0x0F000000;
inline constexpr uint32_t kTablesId = 0x0F000001;
inline constexpr uint32_t kDatabasesId = 0x0F000002;
inline constexpr uint32_t kRelationshipsId = 0x0F000003;
inline constexpr uint32_t kMSysDbId = 0x10000000;

// A table's Id is its TDEF page in the low 24 bits.
inline constexpr uint32_t kObjectIdPageMask = 0x00FFFFFF;

// Values of the Type column.
inline constexpr int64_t kObjectTypeTable = 1;
inline constexpr int64_t kObjectTypeDatabase = 2;
inline constexpr int64_t kObjectTypeContainer = 3;

// Flags: the bit Jet sets on its own objects; either bit of kSystemObjectBits marks a table
// as the engine's.
inline constexpr uint32_t kSystemObjectFlag = 0x80000000;
inline constexpr uint32_t kSystemObjectBits = kSystemObjectFlag | 0x00000002;

}  // namespace engine::jet
