// A new row's values: each converted to its column's type, the autonumbers handed out (the
// counter itself moves only when the row is stored), GUID autonumbers drawn, and the table's
// rules checked on the result. Also the values a new record starts with.
// Rules: FORMAT.md, "Values in rows"; the rules themselves in rules/table_rules.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/jet/format/table_definition.h"
#include "engine/jet/rules/table_rules.h"
#include "engine/text/text_locale.h"
#include "engine/value/value.h"

namespace engine::jet {

class NewRowValues {
 public:
  NewRowValues(const TableDefinition& table, TableRules rules, TextLocale locale, std::string file_name);

  // The columns' defaults (see TableRules), Null elsewhere.
  std::vector<Value> Defaults();

  // The values (by column position, missing ones Null; taken from the caller) converted and
  // checked; throws engine::Error. `last_autonumber` is the table's counter; `new_autonumber` gets the value
  // it is to take when the row is stored, if it moves.
  std::vector<Value> Convert(std::vector<Value>&& values, uint32_t last_autonumber,
                             std::optional<uint32_t>* new_autonumber) const;

 private:
  const TableDefinition& table_;
  TableRules rules_;
  TextLocale locale_;
  std::string file_name_;
};

}  // namespace engine::jet
