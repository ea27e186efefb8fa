#include "engine/jet/table/new_row_values.h"

#include <random>

#include "engine/base/error.h"
#include "engine/jet/row/value_conversion.h"
#include "engine/jet/table/table_error.h"

namespace engine::jet {

NewRowValues::NewRowValues(const TableDefinition& table, TableRules rules, TextLocale locale, std::string file_name)
    : table_(table), rules_(std::move(rules)), locale_(std::move(locale)), file_name_(std::move(file_name)) {}

std::vector<Value> NewRowValues::Defaults() {
  try {
    return rules_.NewRecord(table_, locale_);
  } catch (const Error& error) {
    throw error.Within(file_name_);
  }
}

std::vector<Value> NewRowValues::Convert(std::vector<Value>&& values, uint32_t autonumber,
                                         std::optional<uint32_t>* new_autonumber) const {
  std::vector<Value> converted(table_.columns.size());
  for (size_t i = 0; i < table_.columns.size(); ++i) {
    const ColumnDefinition& column = table_.columns[i];
    // Converted straight from the caller's value, which is ours to take: a text that fits is
    // moved, not copied.
    Value value;
    try {
      value = i < values.size() ? ConvertForColumn(column, std::move(values[i]), locale_) : Value();
    } catch (const Error& error) {
      throw error.Within(file_name_, "table \"" + ToUtf8(table_.name) + "\": ");
    }
    if (column.type == ColumnType::Boolean && value.is_null()) value = Value::Flag(false);
    if (column.is_autonumber() && column.type == ColumnType::Long) {
      if (value.is_null()) {
        if (autonumber >= static_cast<uint32_t>(INT32_MAX)) {
          FailOnTable(file_name_, table_, "the autonumber column \"" + ToUtf8(column.name) + "\" is exhausted",
                      ErrorKind::TooLarge);
        }
        value = Value::Integer(++autonumber);
        *new_autonumber = autonumber;
      } else if (value.integer() > 0 && static_cast<uint32_t>(value.integer()) > autonumber) {
        // An explicit id moves the counter on, as Jet does.
        autonumber = static_cast<uint32_t>(value.integer());
        *new_autonumber = autonumber;
      }
    }
    if ((column.flags & kColumnGuidAutonumber) && column.type == ColumnType::Guid && value.is_null()) {
      static thread_local std::mt19937_64 random{std::random_device{}()};
      Guid guid;
      for (auto& b : guid.bytes) b = static_cast<uint8_t>(random());
      guid.bytes[7] = static_cast<uint8_t>((guid.bytes[7] & 0x0F) | 0x40);  // version 4
      value = Value::Id(guid);
    }
    converted[i] = std::move(value);
  }
  // Refusals by a rule keep the user's text as it is (no table prefix).
  try {
    rules_.Check(table_, converted, locale_);
  } catch (const Error& error) {
    throw error.Within(file_name_);
  }
  return converted;
}

}  // namespace engine::jet
