// libFuzzer target for the Jet reader: opens the input as a database, lists its tables and
// reads every field of every row of every table. Damaged input must end in engine::Error,
// never in a crash, a hang or unbounded memory.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/error.h"
#include "engine/jet/jet_database.h"
#include "engine/text_locale.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    auto database = engine::jet::OpenJetDatabaseFromBytes(std::vector<uint8_t>(data, data + size), "fuzz.mdb",
                                                          engine::TextLocale::English());
    for (const engine::TableInfo& table : database->TableDefs()) {
      try {
        auto records = database->OpenRecordset(table.name);
        if (records->RecordCount() == 0) continue;
        for (records->MoveFirst(); !records->Eof(); records->MoveNext()) {
          for (int i = 0; i < records->FieldCount(); ++i) records->GetValue(i);
        }
      } catch (const engine::Error&) {
        // A damaged table; the others are still read.
      }
    }
  } catch (const engine::Error&) {
  }
  return 0;
}
