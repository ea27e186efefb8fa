// Defaults and rules from a table's properties: see table_rules.h.
#include "engine/jet/rules/table_rules.h"

#include <ctime>

#include "engine/text/case_fold.h"
#include "engine/base/error.h"
#include "engine/jet/rules/italian_texts.h"
#include "engine/jet/row/value_conversion.h"

namespace engine::jet {
namespace {

constexpr uint8_t kGuidAutonumberFlag = 0x40;

std::u16string TextOf(const PropertyMap* map, std::u16string_view name) {
  const Property* property = map ? map->Find(name) : nullptr;
  if (!property || property->value.type() != Value::Type::Text) return {};
  return property->value.text();
}

std::optional<bool> FlagOf(const PropertyMap* map, std::u16string_view name) {
  const Property* property = map ? map->Find(name) : nullptr;
  if (!property) return std::nullopt;
  if (property->value.type() == Value::Type::Flag) return property->value.flag();
  if (property->value.type() == Value::Type::Integer) return property->value.integer() != 0;
  return std::nullopt;
}

[[noreturn]] void Refuse(const std::u16string& reason) {
  throw Error("", ToUtf8(reason), ErrorKind::RuleViolation);
}

// A refusal by one column's property, which names the column and its value for the reports
// of an import.
[[noreturn]] void RefuseValue(const std::u16string& reason, const ColumnDefinition& column, const Value& value,
                              const TextLocale& locale, Refusal refusal = Refusal::None) {
  Error error("", ToUtf8(reason), ErrorKind::RuleViolation);
  throw error.Concerning(ToUtf8(column.name), ToUtf8(value.ToText(locale)), refusal);
}

Date LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  CivilDateTime civil;
  civil.year = local.tm_year + 1900;
  civil.month = local.tm_mon + 1;
  civil.day = local.tm_mday;
  civil.hour = local.tm_hour;
  civil.minute = local.tm_min;
  civil.second = local.tm_sec;
  return FromCivil(civil);
}

}  // namespace

TableRules::TableRules(const TableDefinition& table, const PropertyBlock& properties) {
  columns_.resize(table.columns.size());
  auto read_rule = [&](const PropertyMap* map, ExpressionUse use, const std::u16string& place) -> std::optional<Rule> {
    Rule rule;
    rule.text = TextOf(map, u"ValidationRule");
    if (rule.text.empty()) return std::nullopt;
    rule.validation_text = TextOf(map, u"ValidationText");
    try {
      rule.expression = Expression::Parse(rule.text, use);
      rules_use_clock_ = rules_use_clock_ || rule.expression->UsesClock();
    } catch (const ExpressionError&) {
      if (!refusal_) {
        refusal_ = ToUtf8(RuleNotUnderstoodText(rule.text, place));
      }
    }
    return rule;
  };
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const ColumnDefinition& column = table.columns[i];
    const PropertyMap* map = properties.Column(column.name);
    if (!map) continue;
    ColumnRules& rules = columns_[i];
    rules.required = FlagOf(map, u"Required").value_or(false);
    rules.allow_zero_length = FlagOf(map, u"AllowZeroLength").value_or(true);
    rules.rule = read_rule(map, ExpressionUse::ColumnRule, ColumnPlaceText(column.name));
    const std::u16string default_text = TextOf(map, u"DefaultValue");
    if (default_text.empty() || column.is_autonumber() || (column.flags & kGuidAutonumberFlag)) continue;
    try {
      rules.default_value = Expression::Parse(default_text, ExpressionUse::DefaultValue);
    } catch (const ExpressionError&) {
      if (!refusal_) {
        refusal_ = ToUtf8(DefaultNotUnderstoodText(default_text, column.name));
      }
    }
  }
  table_rule_ = read_rule(properties.Table(), ExpressionUse::TableRule, TablePlaceText(table.name));
}

TableRules TableRules::Refusing(std::string reason, ErrorKind kind) {
  TableRules rules;
  rules.refusal_ = std::move(reason);
  rules.refusal_kind_ = kind;
  return rules;
}

std::vector<Value> TableRules::NewRecord(const TableDefinition& table, const TextLocale& locale) {
  std::vector<Value> values(table.columns.size());
  if (refusal_) throw Error("", *refusal_, refusal_kind_);
  ExpressionContext context;
  bool have_now = false;
  for (size_t i = 0; i < columns_.size() && i < values.size(); ++i) {
    const std::optional<Expression>& default_value = columns_[i].default_value;
    if (!default_value) continue;
    if (columns_[i].constant_default) {
      values[i] = *columns_[i].constant_default;
      continue;
    }
    if (!have_now && default_value->UsesClock()) {
      context.now = LocalNow();
      have_now = true;
    }
    const ColumnDefinition& column = table.columns[i];
    try {
      values[i] = ConvertForColumn(column, default_value->Evaluate(context), locale);
      if (default_value->IsConstant()) columns_[i].constant_default = values[i];
    } catch (const std::exception&) {
      Refuse(DefaultNotValidText(default_value->text(), column.name));
    }
  }
  return values;
}

void TableRules::Check(const TableDefinition& table, const std::vector<Value>& values, const TextLocale& locale) const {
  if (refusal_) throw Error("", *refusal_, refusal_kind_);
  if (columns_.empty() && !table_rule_) return;
  ExpressionContext context;
  context.locale = locale;
  if (rules_use_clock_) context.now = LocalNow();
  context.field = [&](std::u16string_view name) -> const Value* {
    for (size_t i = 0; i < table.columns.size() && i < values.size(); ++i) {
      if (SameName(table.columns[i].name, name)) return &values[i];
    }
    return nullptr;
  };
  auto holds = [&](const Rule& rule) {
    try {
      return rule.expression && rule.expression->Test(context) == true;  // Null refuses, as False does
    } catch (const ExpressionError&) {
      return false;  // a type mismatch: the value is not one the rule accepts
    }
  };
  for (size_t i = 0; i < columns_.size() && i < values.size(); ++i) {
    const ColumnRules& rules = columns_[i];
    const ColumnDefinition& column = table.columns[i];
    const Value& value = values[i];
    if (rules.required && value.is_null()) RefuseValue(RequiredText(column.name), column, value, locale);
    if (!rules.allow_zero_length && value.type() == Value::Type::Text && value.text().empty() &&
        (column.type == ColumnType::Text || column.type == ColumnType::Memo)) {
      RefuseValue(NoEmptyTextText(column.name), column, value, locale);
    }
    if (!rules.rule) continue;
    context.this_column = value;
    if (holds(*rules.rule)) continue;
    if (!rules.rule->validation_text.empty()) {
      RefuseValue(rules.rule->validation_text, column, value, locale, Refusal::ValidationText);
    }
    RefuseValue(ColumnRuleBrokenText(column.name, value.ToText(locale), rules.rule->text), column, value, locale);
  }
  if (table_rule_ && !holds(*table_rule_)) {
    if (!table_rule_->validation_text.empty()) Refuse(table_rule_->validation_text);
    Refuse(TableRuleBrokenText(table_rule_->text, table.name));
  }
}

}  // namespace engine::jet
