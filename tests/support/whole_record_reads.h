// Checks a record set's ReadRecord against GetValue: walking from the first record, each
// record is read whole into one vector kept for the whole walk (so that a text left from a
// longer one, or a field of another type, would show), then field by field. Both must give
// the same values, or fail with the same reason. Header-only: each suite uses it on its own
// archives.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/database/database.h"
#include "tools/archivi/dump/dump_format.h"
#include "engine/base/error.h"

namespace testsupport {

// A value's type and dump form: two NaNs compare equal, unlike Value's ==.
inline std::string TypedDump(const engine::Value& value) {
  return std::to_string(static_cast<int>(value.type())) + ":" + engine::DumpValue(value);
}

// Returns the number of records compared; a set that fails to move (damaged pages) ends the
// walk there.
inline long CompareWholeAndFieldReads(engine::Recordset& records) {
  std::vector<engine::Value> whole;
  long compared = 0;
  try {
    if (records.RecordCount() == 0) return 0;
    records.MoveFirst();
  } catch (const engine::Error&) {
    return 0;
  }
  while (!records.Eof()) {
    std::string whole_failure, field_failure;
    try {
      records.ReadRecord(whole);
    } catch (const engine::Error& error) {
      whole_failure = error.reason();
    }
    std::vector<std::string> by_field;
    try {
      for (int i = 0; i < records.FieldCount(); ++i) by_field.push_back(TypedDump(records.GetValue(i)));
    } catch (const engine::Error& error) {
      field_failure = error.reason();
    }
    EXPECT_EQ(whole_failure, field_failure) << "record " << compared;
    if (whole_failure.empty() && field_failure.empty()) {
      std::vector<std::string> read_whole;
      for (const engine::Value& value : whole) read_whole.push_back(TypedDump(value));
      EXPECT_EQ(read_whole, by_field) << "record " << compared;
    }
    ++compared;
    try {
      records.MoveNext();
    } catch (const engine::Error&) {
      break;
    }
  }
  return compared;
}

}  // namespace testsupport
