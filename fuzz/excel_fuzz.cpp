// libFuzzer target for the workbook reader: opens the input as an .xls file (a compound
// file, or a bare BIFF stream, which reaches the record parser without the container),
// lists its tables and reads the fields of their records. Damaged input must end in
// engine::Error, never in a crash, a hang or memory beyond what the input's cells need.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/base/error.h"
#include "engine/excel/excel_database.h"
#include "engine/text/text_locale.h"

namespace {

// Two cells at opposite corners make a legitimate table of 65,535 x 256 mostly-Null
// values; walking all of them is the same code a million times over and only slows the
// search, so each input's walk stops after this many values.
constexpr long kMaxValuesRead = 100'000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const engine::TextLocale locale = engine::TextLocale::Italian();
  try {
    auto database =
        engine::excel::OpenExcelDatabase(std::vector<uint8_t>(data, data + size), "fuzz.xls", locale);
    long values_read = 0;
    for (const engine::TableInfo& table : database->TableDefs()) {
      auto records = database->OpenRecordset(table.name);
      for (int i = 0; i < records->FieldCount(); ++i) records->FieldName(i);
      if (records->RecordCount() > 0) {
        records->MoveLast();
        records->MoveFirst();
      }
      for (; !records->Eof() && values_read < kMaxValuesRead; records->MoveNext()) {
        for (int i = 0; i < records->FieldCount(); ++i, ++values_read) records->GetValue(i).ToText(locale);
      }
    }
  } catch (const engine::Error&) {
  }
  return 0;
}
