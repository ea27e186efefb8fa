// Access 97 indexes through the writer's own index set, the way a purge and an import use it:
// every index of a copy of an Access 97 file emptied, its pages given back as spares, and
// filled again with the keys of the table's own rows, last row first (so that pages split
// where Access's did not and the spare pages and usage maps give the new pages). A row's
// values offered once more are refused by each unique index. The checker then makes every
// row's key again and compares them with the entries, walks the trees and their maps.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/base/error.h"
#include "engine/jet/catalog/catalog.h"
#include "engine/jet/catalog/table_definition_reader.h"
#include "engine/jet/catalog/tdef_counters.h"
#include "engine/jet/page/data_page.h"
#include "engine/jet/row/row_decoder.h"
#include "engine/jet/row/table_scan.h"
#include "engine/jet/row/text_codec.h"
#include "engine/jet/storage/pager.h"
#include "engine/jet/table/index_set.h"
#include "tests/engine/jet/jet_test_util.h"
#include "tests/support/jet_check.h"

namespace {

using namespace engine::jet;
using engine::Value;

TEST(Jet3IndexSet, EmptiedAndRefilledFromTheRowsKeepTheCheckClean) {
  REQUIRE_FIXTURES();
  testsupport::TempDir dir;
  size_t refused = 0;
  for (const char* name : {"jet/V1997/compIndexTestV1997.mdb", "jet/V1997/testIndexCodesV1997.mdb"}) {
    SCOPED_TRACE(name);
    const auto file = dir.Copy(testsupport::Fixture(name));
    size_t entries = 0;
    {
      auto pager = Pager::Open(file, engine::OpenMode::ReadWrite);
      ASSERT_TRUE(pager->format().is_jet3());
      TextDecoder text(pager->format().version, pager->header().code_page, file.string());
      pager->BeginLongChange();
      for (const CatalogEntry& entry : ReadCatalog(*pager, text)) {
        if (entry.is_system) continue;
        const TableDefinition table = ReadTableDefinition(*pager, text, entry.tdef_page, entry.name);
        std::vector<RowId> rows = ListLiveRows(*pager, table);
        std::reverse(rows.begin(), rows.end());
        RowDecoder decoder(*pager, table, text);
        IndexSet indexes(*pager, table, file.string(), IndexPageReuse::SparePages);
        TdefCounters counters(*pager, table);
        indexes.Clear();
        const bool any_unique = std::any_of(table.real_indexes.begin(), table.real_indexes.end(),
                                            [](const RealIndex& index) { return index.unique(); });
        CrackedRow cracked;
        for (RowId row : rows) {
          std::vector<Value> values;
          RowSlot slot = ReadLiveRow(*pager, row);
          decoder.Crack(slot.data, slot.size, cracked);
          for (size_t c = 0; c < table.columns.size(); ++c)
            values.push_back(decoder.Decode(cracked, static_cast<int>(c)));
          const IndexKeys keys = indexes.MakeKeys(values);
          indexes.Add(keys, row, counters);
          entries += static_cast<size_t>(
              std::count_if(keys.begin(), keys.end(), [](const auto& key) { return key.has_value(); }));
          if (!any_unique) continue;
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
    EXPECT_GT(entries, 500u);
    EXPECT_EQ(testsupport::CheckProblems(file), "");
  }
  EXPECT_GT(refused, 0u);
}

}  // namespace
