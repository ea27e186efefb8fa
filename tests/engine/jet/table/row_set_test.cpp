#include "engine/jet/table/row_set.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace engine::jet {
namespace {

// Random rows on a few pages (so masks are shared) and on far pages, every row byte from 0 to
// 255, checked against a plain set after each insert and after clearing.
TEST(RowSet, AnswersAsAPlainSetOfRows) {
  std::mt19937 random(20);
  RowSet rows;
  std::set<uint32_t> model;
  const auto random_row = [&] {
    const uint32_t page = random() % 2 ? random() % 8 + 1 : random() % 0xFFFFFF + 1;
    return RowId{PageNumber(page), static_cast<uint8_t>(random() % 256)};
  };
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 3000; ++i) {
      const RowId row = random_row();
      rows.insert(row);
      model.insert(row.packed());
      const RowId probe = random_row();
      ASSERT_EQ(model.count(probe.packed()) == 1, rows.contains(probe)) << probe.packed();
    }
    for (uint32_t packed : model) ASSERT_TRUE(rows.contains(RowId::FromPacked(packed))) << packed;
    rows.clear();
    for (uint32_t packed : model) ASSERT_FALSE(rows.contains(RowId::FromPacked(packed))) << packed;
    model.clear();
  }
}

}  // namespace
}  // namespace engine::jet
