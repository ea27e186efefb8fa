#include "engine/jet/check/checker.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>

#include "engine/base/bytes.h"
#include "engine/base/error.h"
#include "engine/jet/catalog/catalog.h"
#include "engine/jet/check/entry_digest.h"
#include "engine/jet/page/data_page.h"
#include "engine/jet/index/index_check.h"
#include "engine/jet/index/index_page.h"
#include "engine/jet/row/row_decoder.h"
#include "engine/jet/index/sort_key.h"
#include "engine/jet/catalog/table_definition_reader.h"
#include "engine/jet/row/table_scan.h"
#include "engine/jet/row/text_codec.h"
#include "engine/jet/page/usage_map.h"
#include "engine/jet/page/usage_map_writer.h"

namespace engine::jet {
namespace {

constexpr size_t kMaxReportedPerIndex = 5;

std::string Hex(std::string_view key) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : key.substr(0, 24)) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  if (key.size() > 24) out += "...";
  return out;
}

// Visits a sound tree's leaf entries in order, one page decoded at a time and dropped.
void ForEachLeafEntry(PageStore& pager, PageNumber root, const std::function<void(std::string_view, RowId)>& visit) {
  IndexPage page = DecodeIndexPage(pager.ReadPage(root).data(), root, pager.format());
  PageNumber number = root;
  while (!page.leaf) {
    number = page.entries.empty() ? page.tail : page.entries.front().child;
    page = DecodeIndexPage(pager.ReadPage(number).data(), number, pager.format());
  }
  while (true) {
    for (const IndexEntry& entry : page.entries) visit(entry.key, entry.row);
    if (page.next.is_none()) return;
    number = page.next;
    page = DecodeIndexPage(pager.ReadPage(number).data(), number, pager.format());
  }
}

std::string RowName(RowId row) { return to_string(row.page) + ":" + std::to_string(row.row); }

class Checker {
 public:
  Checker(PageStore& pager, CheckReport& report)
      : pager_(pager),
        report_(report),
        text_(pager.format().version, pager.header().code_page, pager.file_name()) {}

  void Run(uint64_t file_size) {
    if (file_size % pager_.page_size() != 0) {
      Problem("the file length " + std::to_string(file_size) + " is not a whole number of pages");
    }
    std::vector<CatalogEntry> catalog;
    try {
      catalog = ReadCatalog(pager_, text_);
    } catch (const Error& error) {
      Problem("the table list cannot be read: " + error.reason());
      return;
    }
    for (const CatalogEntry& entry : catalog) {
      ++report_.tables;
      try {
        CheckTable(entry);
      } catch (const Error& error) {
        Problem("table \"" + ToUtf8(entry.name) + "\": " + error.reason());
      }
    }
  }

 private:
  void Problem(std::string line) { report_.problems.push_back(std::move(line)); }

  // Every page a map lists is used (global bit clear) and has one owner only.
  void Claim(const std::string& owner, const std::vector<PageNumber>& pages) {
    UsageMapEditor global(pager_, kGlobalUsageMap);
    const uint32_t claimant = OwnerNumber(owner);
    for (PageNumber page : pages) {
      if (!pager_.has_page(page)) continue;  // maps cover whole windows past the end
      if (page.value() >= page_owners_.size()) page_owners_.resize(size_t{page.value()} + 1, kNoOwner);
      uint32_t& held_by = page_owners_[page.value()];
      if (held_by != kNoOwner && held_by != claimant) {
        Problem("page " + to_string(page) + " belongs both to " + owner_names_[held_by] + " and to " + owner);
      }
      if (held_by == kNoOwner) held_by = claimant;
      if (global.Contains(page)) {
        Problem("page " + to_string(page) + " of " + owner + " is marked free in the global map");
      }
    }
  }

  // Not marked free in the global map (bits of pages given back may stay in other maps).
  bool InUse(PageNumber page) {
    return pager_.format().version != JetVersion::Jet4 || !UsageMapEditor(pager_, kGlobalUsageMap).Contains(page);
  }

  // Owners are few (a table, its indexes and long values): each page keeps a number, not a name.
  uint32_t OwnerNumber(const std::string& owner) {
    if (owner_names_.empty() || owner_names_.back() != owner) {
      const auto found = std::find(owner_names_.begin(), owner_names_.end(), owner);
      if (found != owner_names_.end()) return static_cast<uint32_t>(found - owner_names_.begin());
      owner_names_.push_back(owner);
    }
    return static_cast<uint32_t>(owner_names_.size() - 1);
  }

  std::vector<PageNumber> MapPages(RowId map, const std::string& what) {
    if (map.page.is_none()) return {};
    try {
      return ReadUsageMap(pager_, map);
    } catch (const Error& error) {
      Problem(what + ": " + error.reason());
      return {};
    }
  }

  void CheckDataPage(const std::string& table, PageNumber number, const DataPage& page) {
    if (const std::optional<std::string> problem = page.SlotTableProblem()) {
      Problem(table + ", data page " + to_string(number) + ": " + *problem);
    }
  }

  void CheckTable(const CatalogEntry& entry) {
    const std::string name = "table \"" + ToUtf8(entry.name) + "\"";
    TableDefinition table = ReadTableDefinition(pager_, text_, entry.tdef_page, entry.name);
    Claim(name + " (definition)",
          table.tdef_pages.empty() ? std::vector<PageNumber>{entry.tdef_page} : table.tdef_pages);

    const std::vector<PageNumber> owned = MapPages(table.owned_pages, name + " owned-pages map");
    const std::set<PageNumber> owned_set(owned.begin(), owned.end());
    std::vector<PageNumber> data_pages;
    for (PageNumber number : owned) {
      if (!pager_.has_page(number)) continue;
      const DataPage page(pager_.ReadPage(number), pager_.format());
      if (!page.owned_by(entry.tdef_page)) {
        Problem(name + ": owned page " + to_string(number) + " is not one of its data pages (type " +
                std::to_string(page.bytes()[0]) + ")");
        continue;
      }
      data_pages.push_back(number);
      CheckDataPage(name, number, page);
    }
    Claim(name, data_pages);
    for (PageNumber number : MapPages(table.free_space_pages, name + " free-space map")) {
      if (pager_.has_page(number) && !owned_set.count(number)) {
        if (DataPage(pager_.ReadPage(number), pager_.format()).owned_by(entry.tdef_page)) {
          Problem(name + ": page " + to_string(number) + " is in the free-space map but not in the owned map");
        }
      }
    }

    // Scan: every live row decodes; row count and autonumber agree. Each row is decoded once
    // and forgotten: what the indexes need of it is folded into their digests as it goes.
    std::vector<RowId> rows = ListLiveRows(pager_, table);
    report_.rows += rows.size();
    // Access does not keep the counts of its own system tables exact (MSysACEs, MSysQueries
    // are often off by a few), so only user tables are held to it.
    if (rows.size() != table.row_count && table.table_type != kSystemTableType && !entry.is_system) {
      Problem(name + ": the definition counts " + std::to_string(table.row_count) + " rows, the pages hold " +
              std::to_string(rows.size()));
    }
    std::vector<ExpectedEntries> expected;
    for (const RealIndex& index : table.real_indexes) {
      expected.push_back({&index, IndexSortOrdersKnown(table, index), {}, {}});
    }
    RowValuesReader reader(pager_, table, text_);
    std::vector<Value> values;
    std::string key;
    for (RowId row : rows) {
      try {
        reader.Read(row, values);
      } catch (const Error& error) {
        for (ExpectedEntries& index : expected) index.known = false;  // the keys cannot all be computed
        Problem(name + ", row " + RowName(row) + ": " + error.reason());
        continue;
      }
      for (size_t c = 0; c < table.columns.size(); ++c) {
        const ColumnDefinition& column = table.columns[c];
        if (column.is_autonumber() && values[c].type() == Value::Type::Integer &&
            values[c].integer() > static_cast<int64_t>(table.autonumber)) {
          Problem(name + ", row " + RowName(row) + ": autonumber " + std::to_string(values[c].integer()) +
                  " is above the last one handed out (" + std::to_string(table.autonumber) + ")");
        }
      }
      for (ExpectedEntries& index : expected) AddExpectedEntry(name, table, row, values, index, key);
    }

    for (const ColumnDefinition& column : table.columns) {
      if (!column.is_long_value() || column.lval_owned_map.page.is_none()) continue;
      const std::string owner = name + ", column \"" + ToUtf8(column.name) + "\" long values";
      std::vector<PageNumber> lval_pages;
      for (PageNumber number : MapPages(column.lval_owned_map, owner + " map")) {
        if (!pager_.has_page(number)) continue;
        const DataPage page(pager_.ReadPage(number), pager_.format());
        if (page.owned_by(kLongValueOwner)) {
          lval_pages.push_back(number);
        } else if (page.is_data_page() && page.owner() != 0 && InUse(number)) {
          // A table's rows under a long-value map: the purge refuses such a map, and says so.
          Problem("page " + to_string(number) + " of " + owner + " is a data page of the table defined at page " +
                  std::to_string(page.owner()));
        }
      }
      Claim(owner, lval_pages);
    }

    for (const ExpectedEntries& index : expected) CheckIndex(name, table, rows, index);
  }

  // What the rows call for in one index: the digest of their (key, row) pairs, and for a
  // unique index the rows with a Null in the key, which Jet lets through more than once.
  struct ExpectedEntries {
    const RealIndex* index;
    bool known;  // every key could be computed; false when the sort order is not ours
    EntryDigest digest;
    RowPlaceBits with_null;
  };

  void AddExpectedEntry(const std::string& table_name, const TableDefinition& table, RowId row,
                        const std::vector<Value>& values, ExpectedEntries& expected, std::string& key) {
    if (!expected.known) return;
    bool with_null = false;
    try {
      if (!RowKeyInIndex(table, *expected.index, values, &key, &with_null)) return;
    } catch (const Error& error) {
      Problem(table_name + ", index " + std::to_string(expected.index->number) + ", row " + RowName(row) +
              ": no key: " + error.reason());
      expected.known = false;
      return;
    }
    expected.digest.Add(key, row);
    if (with_null && expected.index->unique()) expected.with_null.Set(row);
  }

  void CheckIndex(const std::string& table_name, const TableDefinition& table, const std::vector<RowId>& rows,
                  const ExpectedEntries& expected) {
    const RealIndex& index = *expected.index;
    const std::string name = table_name + ", index " + std::to_string(index.number);
    std::set<PageNumber> map_pages;
    if (!index.usage_map.page.is_none()) {
      auto pages = MapPages(index.usage_map, name + " usage map");
      map_pages.insert(pages.begin(), pages.end());
    }
    IndexCheckResult shape =
        CheckIndexTree(pager_, index.root_page, table.tdef_page,
                       !index.usage_map.page.is_none()
                           ? std::function<bool(PageNumber)>([&](PageNumber page) { return map_pages.count(page) > 0; })
                           : std::function<bool(PageNumber)>());
    for (const std::string& problem : shape.problems) Problem(name + ": " + problem);
    Claim(name, shape.pages);
    // Pages the map lists beyond the tree (pages given back but still listed) may not belong
    // to anyone else either.
    Claim(name, std::vector<PageNumber>(map_pages.begin(), map_pages.end()));
    if (!shape.ok()) return;
    report_.index_entries += shape.entries;
    if (!expected.known) return;  // its keys cannot be recomputed here

    // The tree's entries rise strictly (the shape check saw to it), so a repeated key sits
    // beside its twin.
    EntryDigest actual;
    std::string previous_key, duplicate;
    RowId previous_row{};
    bool first = true;
    ForEachLeafEntry(pager_, index.root_page, [&](std::string_view key, RowId row) {
      actual.Add(key, row);
      if (index.unique() && duplicate.empty() && !first && key == previous_key &&
          !expected.with_null.Test(previous_row) && !expected.with_null.Test(row)) {
        duplicate = name + ": the unique index holds key " + Hex(key) + " for rows " + RowName(previous_row) +
                    " and " + RowName(row);
      }
      previous_key.assign(key);
      previous_row = row;
      first = false;
    });
    if (!(actual == expected.digest)) NameDifferences(name, table, index, rows);
    if (!duplicate.empty()) Problem(duplicate);
  }

  // The slow way, for an index whose entries differ from what the rows call for: both lists
  // of pairs in full, merged to name the rows missing and the entries left over.
  void NameDifferences(const std::string& name, const TableDefinition& table, const RealIndex& index,
                       const std::vector<RowId>& rows) {
    std::vector<std::pair<std::string, RowId>> expected;
    RowValuesReader reader(pager_, table, text_);
    std::vector<Value> values;
    std::string key;
    for (RowId row : rows) {
      reader.Read(row, values);
      if (RowKeyInIndex(table, index, values, &key)) expected.emplace_back(key, row);
    }
    std::sort(expected.begin(), expected.end());
    std::vector<std::pair<std::string, RowId>> actual;
    ForEachLeafEntry(pager_, index.root_page,
                     [&](std::string_view entry_key, RowId row) { actual.emplace_back(std::string(entry_key), row); });

    size_t reported = 0;
    size_t e = 0, a = 0;
    while ((e < expected.size() || a < actual.size()) && reported < kMaxReportedPerIndex) {
      if (a < actual.size() && e < expected.size() && actual[a] == expected[e]) {
        ++a, ++e;
      } else if (e < expected.size() && (a >= actual.size() || expected[e] < actual[a])) {
        Problem(name + ": row " + RowName(expected[e].second) + " is missing (key " + Hex(expected[e].first) + ")");
        ++e, ++reported;
      } else {
        Problem(name + ": entry for row " + RowName(actual[a].second) + " (key " + Hex(actual[a].first) +
                ") matches no row with that key");
        ++a, ++reported;
      }
    }
  }

  PageStore& pager_;
  CheckReport& report_;
  TextDecoder text_;
  static constexpr uint32_t kNoOwner = UINT32_MAX;
  std::vector<uint32_t> page_owners_;     // by page number: the owner that claimed it first
  std::vector<std::string> owner_names_;  // by owner number
};

}  // namespace

CheckReport CheckDatabase(PageStore& pager, uint64_t file_size) {
  CheckReport report;
  Checker(pager, report).Run(file_size);
  return report;
}

}  // namespace engine::jet
