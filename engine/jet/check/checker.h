// `archivi check`: the engine's own integrity check of a Jet database, run after every write
// in the tests. It reads the catalogue and, for every table:
//  - the owned-pages map lists only data pages of the table (or pages it gave back), each with
//    a consistent slot table (rows inside the page, starts never increasing, free space =
//    lowest start - (header + 2 * slots), at most 255 slots), and the free-space map lies
//    within the owned map;
//  - the TDEF row count equals the live rows found by a scan, every live row decodes, and an
//    autonumber column never exceeds the TDEF's last autonumber;
//  - every page of a table, index or long-value map is marked used in the global map and
//    belongs to one owner only;
//  - every real index passes the B-tree check, and its entries are exactly the (key, row)
//    pairs computed from the scanned rows, in order; a unique index holds no duplicate key.
// Rows are decoded one at a time and forgotten: the pairs are compared as digests
// (entry_digest.h), and listed in full only for an index whose digest differs, to name the rows.
// Rules: FORMAT.md, one section per structure checked.
#pragma once

#include <string>
#include <vector>

#include "engine/jet/storage/page_store.h"

namespace engine::jet {

struct CheckReport {
  std::vector<std::string> problems;  // one readable line each
  size_t tables = 0;
  size_t rows = 0;
  size_t index_entries = 0;
  bool ok() const { return problems.empty(); }
};

// `file_size` is the file's length in bytes (it must be a whole number of pages).
CheckReport CheckDatabase(PageStore& pager, uint64_t file_size);

}  // namespace engine::jet
