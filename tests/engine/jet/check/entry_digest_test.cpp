// The digests the check compares instead of lists: two sets of (key, row) pairs agree exactly
// when they hold the same pairs, in whatever order; row places remember only what was set.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/jet/check/entry_digest.h"

using engine::jet::EntryDigest;
using engine::jet::PageNumber;
using engine::jet::RowId;
using engine::jet::RowPlaceBits;

namespace {

struct Pair {
  std::string key;
  RowId row;
};

EntryDigest Digest(const std::vector<Pair>& pairs) {
  EntryDigest digest;
  for (const Pair& pair : pairs) digest.Add(pair.key, pair.row);
  return digest;
}

const RowId kA{PageNumber(7), 0}, kB{PageNumber(7), 1}, kC{PageNumber(300), 255};

}  // namespace

TEST(EntryDigest, AgreesOnlyOnTheSamePairs) {
  const std::vector<Pair> rows = {{"alfa", kA}, {"beta", kB}, {"gamma", kC}};
  struct Case {
    const char* what;
    std::vector<Pair> index;
    bool same;
  };
  const Case cases[] = {
      {"the same pairs", rows, true},
      {"the same pairs in another order", {{"gamma", kC}, {"alfa", kA}, {"beta", kB}}, true},
      {"a pair missing", {{"alfa", kA}, {"beta", kB}}, false},
      {"a pair too many", {{"alfa", kA}, {"beta", kB}, {"gamma", kC}, {"delta", kC}}, false},
      {"a key changed", {{"alfa", kA}, {"betb", kB}, {"gamma", kC}}, false},
      {"two rows swapped", {{"alfa", kB}, {"beta", kA}, {"gamma", kC}}, false},
      {"a row on another page", {{"alfa", kA}, {"beta", kB}, {"gamma", {PageNumber(301), 255}}}, false},
      {"a key cut short", {{"alfa", kA}, {"bet", kB}, {"gamma", kC}}, false},
      {"a pair twice, another gone", {{"alfa", kA}, {"alfa", kA}, {"gamma", kC}}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Digest(c.index) == Digest(rows), c.same) << c.what;
    EXPECT_EQ(Digest(c.index).count(), c.index.size()) << c.what;
  }
}

TEST(RowPlaceBits, RemembersExactlyThePlacesSet) {
  RowPlaceBits bits;
  const RowId set[] = {kA, kC, {PageNumber(0), 63}, {PageNumber(0), 64}};
  for (RowId row : set) bits.Set(row);
  for (RowId row : set) EXPECT_TRUE(bits.Test(row)) << row.page.value() << ":" << int{row.row};
  const RowId unset[] = {kB, {PageNumber(6), 255}, {PageNumber(8), 0}, {PageNumber(300), 254},
                         {PageNumber(301), 0}, {PageNumber(1000000), 3}, {PageNumber(0), 62}};
  for (RowId row : unset) EXPECT_FALSE(bits.Test(row)) << row.page.value() << ":" << int{row.row};
}
