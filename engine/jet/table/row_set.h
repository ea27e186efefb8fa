// A set of rows, kept as one 256-bit mask per data page: the rows a writer has seen to match
// their index entries gather a few dozen to a page, so the set holds one small block per page
// instead of one hash node per row.
#pragma once

#include <array>
#include <cstdint>
#include <unordered_map>

#include "engine/jet/format/table_definition.h"

namespace engine::jet {

class RowSet {
 public:
  bool contains(RowId row) const {
    const auto found = pages_.find(row.page.value());
    return found != pages_.end() && (found->second[row.row >> 6] >> (row.row & 63) & 1) != 0;
  }
  void insert(RowId row) { pages_[row.page.value()][row.row >> 6] |= uint64_t{1} << (row.row & 63); }
  void clear() { pages_.clear(); }

 private:
  std::unordered_map<uint32_t, std::array<uint64_t, 4>> pages_;
};

}  // namespace engine::jet
