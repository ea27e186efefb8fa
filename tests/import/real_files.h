// A whole table of a price list the import tests ran on, as rows of values.
#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

#include "engine/database.h"
#include "engine/open/open_database.h"
#include "engine/value.h"
#include "tests/support/fixtures.h"

namespace testsupport {

inline std::vector<std::vector<engine::Value>> ReadTable(const std::filesystem::path& file, std::u16string_view table,
                                                          const engine::TextLocale& locale) {
  auto database = engine::OpenDatabase(file, u"Access 2000;", engine::OpenMode::ReadOnly, locale);
  auto records = database->OpenRecordset(table);
  std::vector<std::vector<engine::Value>> rows;
  for (; !records->Eof(); records->MoveNext()) {
    std::vector<engine::Value> row;
    for (int i = 0; i < records->FieldCount(); ++i) row.push_back(records->GetValue(i));
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace testsupport
