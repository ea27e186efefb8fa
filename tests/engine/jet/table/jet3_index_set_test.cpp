// Access 97 indexes through the writer's index set, as a purge and an import use it: each
// index of a copy of an Access 97 file emptied, then filled again from the table's own rows,
// last row first, so that pages split where Access's did not and new pages come from the
// spare pages and the usage maps. Each row offered again is refused by a unique index. The
// checker then makes every row's keys afresh and compares them with the trees.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/base/error.h"
#include "engine/jet/catalog/catalog.h"
#include "engine/jet/catalog/table_definition_reader.h"
#include "engine/jet/catalog/tdef_counters.h"
#include "engine/jet/page/data_page.h"
#include "engine/jet/row/row_decoder.h"
#include "engine/jet/row/table_scan.h"
#include "engine/jet/storage/pager.h"
#include "engine/jet/table/index_set.h"
#include "tests/engine/jet/jet_test_util.h"
#include "tests/support/jet_check.h"

namespace {

using namespace engine::jet;

TEST(Jet3IndexSet, EmptiedAndRefilledFromTheRowsKeepTheCheckClean) {
  REQUIRE_FIXTURES();
  testsupport::TempDir dir;
  size_t refused = 0;
  for (const char* name : {"jet/V1997/compIndexTestV1997.mdb", "jet/V1997/testIndexCodesV1997.mdb"}) {
    const auto file = dir.Copy(testsupport::Fixture(name));
    {
      auto pager = Pager::Open(file, engine::OpenMode::ReadWrite);
      TextDecoder text(pager->format().version, pager->header().code_page, name);
      pager->BeginLongChange();
      for (const CatalogEntry& entry : ReadCatalog(*pager, text)) {
        if (entry.is_system) continue;
        const TableDefinition table = ReadTableDefinition(*pager, text, entry.tdef_page, entry.name);
        std::vector<RowId> rows = ListLiveRows(*pager, table);
        std::reverse(rows.begin(), rows.end());
        RowDecoder decoder(*pager, table, text);
        IndexSet indexes(*pager, table, name, IndexPageReuse::SparePages);
        TdefCounters counters(*pager, table);
        indexes.Clear();
        CrackedRow cracked;
        for (RowId row : rows) {
          RowSlot slot = ReadLiveRow(*pager, row);
          decoder.Crack(slot.data, slot.size, cracked);
          std::vector<engine::Value> values;
          for (size_t c = 0; c < table.columns.size(); ++c) values.push_back(decoder.Decode(cracked, int(c)));
          indexes.Add(indexes.MakeKeys(values), row, counters);
          try {
            indexes.MakeKeys(values);
          } catch (const engine::Error& error) {
            EXPECT_EQ(error.kind(), engine::ErrorKind::Duplicate) << error.what();
            ++refused;
          }
        }
        indexes.Flush();
      }
      pager->Commit();
    }
    EXPECT_EQ(testsupport::CheckProblems(file), "") << name;
  }
  EXPECT_GT(refused, 100u);
}

}  // namespace
