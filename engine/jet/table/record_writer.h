// What a Jet record set asks of its database to add records (AddNew / SetValue / Update):
// the database owns the table writers, the transaction and the group commits.
#pragma once

#include <vector>

#include "engine/jet/format/table_definition.h"
#include "engine/text/text_locale.h"
#include "engine/value/value.h"

namespace engine::jet {

class RecordWriter {
 public:
  virtual ~RecordWriter() = default;
  // The values a new record starts with (AddNew): the columns' defaults, Null elsewhere.
  virtual std::vector<Value> NewRecord(const TableDefinition& table) = 0;
  // The value as the column will store it; throws engine::Error when it does not convert.
  virtual Value ConvertField(const TableDefinition& table, int position, const Value& value) = 0;
  // The same for a value the caller gives up, taken only when it converts: a text that fits
  // is moved, not copied.
  virtual Value ConvertField(const TableDefinition& table, int position, Value&& value) = 0;
  // What the text form of `value` in `locale` converts to, as ConvertField of that text gives
  // it (see ConvertTextFormForColumn).
  virtual Value ConvertTextForm(const TableDefinition& table, int position, const Value& value,
                                const TextLocale& locale) = 0;
  // Stores a record (values by column position, Null where nothing was set): all of it, or
  // nothing and an engine::Error.
  virtual void AddRecord(const TableDefinition& table, std::vector<Value> values) = 0;
};

}  // namespace engine::jet
