// What the check remembers of an index's (key, row) pairs and of the rows themselves, in a
// few words or bits instead of copies, so that its memory does not grow with the rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/jet/format/table_definition.h"

namespace engine::jet {

// A set of (key, row) pairs summed up as its size and two independent 64-bit sums of a hash
// of each pair: the pairs a table's rows call for and the pairs its index holds are the same
// when their digests are. Two sets that differ and still agree on both sums are not to be
// expected from a damaged file; when digests differ, the checker goes back to name the rows.
class EntryDigest {
 public:
  void Add(std::string_view key, RowId row);
  size_t count() const { return count_; }
  bool operator==(const EntryDigest&) const = default;

 private:
  size_t count_ = 0;
  uint64_t sum_ = 0;
  uint64_t mixed_sum_ = 0;
};

// One bit per place a row can have in the file (a data page's slot), for a fact about some
// rows, such as "has a Null in the index key": 32 bytes per page at most, grown as places are set.
class RowPlaceBits {
 public:
  void Set(RowId row);
  bool Test(RowId row) const;

 private:
  std::vector<uint64_t> words_;
};

}  // namespace engine::jet
