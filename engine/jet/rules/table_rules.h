// What Jet applies to every record of a table from its property block: each column's
// DefaultValue when a record is started (AddNew), and on storing (Update) the Required and
// AllowZeroLength properties and the column and table ValidationRules, with the
// ValidationText as the reason when a record is refused.
//
// Refusals are engine::Error of kind RuleViolation whose reason is the text the user reads
// (the ValidationText, or an Italian sentence naming the column and the rule). A rule this
// program cannot parse refuses every record of the table, quoting the rule: a record is
// never stored unchecked.
// The properties read: FORMAT.md, "Property blocks".
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/base/error.h"
#include "engine/jet/rules/expression.h"
#include "engine/jet/catalog/property_block.h"
#include "engine/jet/format/table_definition.h"
#include "engine/text/text_locale.h"
#include "engine/value/value.h"

namespace engine::jet {

class TableRules {
 public:
  TableRules() = default;  // no properties: nothing to fill, nothing to check
  TableRules(const TableDefinition& table, const PropertyBlock& properties);
  // Rules that refuse every record, for the reason given (properties that cannot be read).
  static TableRules Refusing(std::string reason, ErrorKind kind);

  // The values a new record starts with, by column position: each column's default,
  // converted to the column's type; Null where there is none. Throws RuleViolation when a
  // default cannot be worked out. Defaults that never change are worked out once.
  std::vector<Value> NewRecord(const TableDefinition& table, const TextLocale& locale);

  // Throws RuleViolation when the record (converted values by column position) breaks a rule.
  void Check(const TableDefinition& table, const std::vector<Value>& values, const TextLocale& locale) const;

 private:
  struct Rule {
    std::optional<Expression> expression;
    std::u16string text;              // as stored
    std::u16string validation_text;   // the reason to give, when there is one
  };
  struct ColumnRules {
    std::optional<Expression> default_value;
    std::optional<Value> constant_default;  // converted, once a constant default was worked out
    bool required = false;
    bool allow_zero_length = true;
    std::optional<Rule> rule;
  };

  std::vector<ColumnRules> columns_;   // by column position; empty without properties
  std::optional<Rule> table_rule_;
  bool rules_use_clock_ = false;
  std::optional<std::string> refusal_;  // why no record can be stored (a rule not understood)
  ErrorKind refusal_kind_ = ErrorKind::RuleViolation;
};

}  // namespace engine::jet
