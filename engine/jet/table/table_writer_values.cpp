// A new row's values: each converted to its column's type, the autonumbers handed out (the
// counter itself moves only when the row is stored), GUID autonumbers drawn, and the table's
// rules checked on the result.
#include <random>

#include "engine/error.h"
#include "engine/jet/row/value_conversion.h"
#include "engine/jet/table/table_writer.h"

namespace engine::jet {

void TableWriter::ConvertValues(std::vector<Value>& values, PreparedRow& prepared) {
  prepared.values.resize(table_.columns.size());
  uint32_t autonumber = counters_.last_autonumber();
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
          Fail("the autonumber column \"" + ToUtf8(column.name) + "\" is exhausted", ErrorKind::TooLarge);
        }
        value = Value::Integer(++autonumber);
        prepared.new_autonumber = autonumber;
      } else if (value.integer() > 0 && static_cast<uint32_t>(value.integer()) > autonumber) {
        // An explicit id moves the counter on, as Jet does.
        autonumber = static_cast<uint32_t>(value.integer());
        prepared.new_autonumber = autonumber;
      }
    }
    if ((column.flags & kColumnGuidAutonumber) && column.type == ColumnType::Guid && value.is_null()) {
      static thread_local std::mt19937_64 random{std::random_device{}()};
      Guid guid;
      for (auto& b : guid.bytes) b = static_cast<uint8_t>(random());
      guid.bytes[7] = static_cast<uint8_t>((guid.bytes[7] & 0x0F) | 0x40);  // version 4
      value = Value::Id(guid);
    }
    prepared.values[i] = std::move(value);
  }
  // Refusals by a rule keep the user's text as it is (no table prefix).
  try {
    rules_.Check(table_, prepared.values, locale_);
  } catch (const Error& error) {
    throw error.Within(file_name_);
  }
}

}  // namespace engine::jet
