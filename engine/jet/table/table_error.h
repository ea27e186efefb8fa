// How the table writer's refusals read: the file, then "table "NAME": " and the reason. One
// place, so that every part of the writer names the table alike.
#pragma once

#include <string>

#include "engine/base/error.h"
#include "engine/jet/format/table_definition.h"
#include "engine/text/utf.h"

namespace engine::jet {

[[noreturn]] inline void FailOnTable(const std::string& file_name, const TableDefinition& table,
                                     const std::string& reason, ErrorKind kind) {
  throw Error(file_name, "table \"" + ToUtf8(table.name) + "\": " + reason, kind);
}

}  // namespace engine::jet
