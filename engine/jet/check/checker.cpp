#include "engine/jet/check/checker.h"

#include <algorithm>
#include <map>
#include <set>

#include "engine/bytes.h"
#include "engine/error.h"
#include "engine/jet/catalog/catalog.h"
#include "engine/jet/page/data_page.h"
#include "engine/jet/index/index_check.h"
#include "engine/jet/index/index_tree.h"
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
    if (pager_.format().version != JetVersion::Jet4) return;  // the writer's maps are Jet 4 only
    UsageMapEditor global(pager_, kGlobalUsageMap);
    for (PageNumber page : pages) {
      if (!pager_.has_page(page)) continue;  // maps cover whole windows past the end
      auto [it, inserted] = owners_.emplace(page, owner);
      if (!inserted && it->second != owner) {
        Problem("page " + to_string(page) + " belongs both to " + it->second + " and to " + owner);
      }
      if (global.Contains(page)) {
        Problem("page " + to_string(page) + " of " + owner + " is marked free in the global map");
      }
    }
  }

  std::vector<PageNumber> MapPages(RowPointer map, const std::string& what) {
    if (map.page.is_none()) return {};
    try {
      return ReadUsageMap(pager_, map);
    } catch (const Error& error) {
      Problem(what + ": " + error.reason());
      return {};
    }
  }

  void CheckDataPage(const std::string& table, PageNumber number, const DataPage& page) {
    const std::string where = table + ", data page " + to_string(number);
    const uint16_t slots = page.slot_count();
    if (slots > kMaxRowsPerDataPage) {
      Problem(where + ": " + std::to_string(slots) + " rows, more than " + std::to_string(kMaxRowsPerDataPage));
      return;
    }
    if (!page.slot_table_fits()) {
      Problem(where + ": the slot table runs past the page");
      return;
    }
    size_t lowest = pager_.page_size();
    for (uint16_t slot = 0; slot < slots; ++slot) {
      const SlotEntry entry = page.slot(slot);
      if (entry.start > entry.end) {
        Problem(where + ": row " + std::to_string(slot) + " starts above the row before it");
        return;
      }
      if (entry.start < page.slot_table_end()) {
        Problem(where + ": row " + std::to_string(slot) + " overlaps the slot table");
        return;
      }
      lowest = entry.start;
    }
    if (pager_.format().version == JetVersion::Jet4) {
      const size_t expected = lowest - page.slot_table_end();
      if (page.free_space() != expected) {
        Problem(where + ": free space field " + std::to_string(page.free_space()) + ", rows leave " +
                std::to_string(expected));
      }
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

    // Scan: every live row decodes; row count and autonumber agree.
    std::vector<RowId> rows = ListLiveRows(pager_, table);
    report_.rows += rows.size();
    // Access does not keep the counts of its own system tables exact (MSysACEs, MSysQueries
    // are often off by a few), so only user tables are held to it.
    if (rows.size() != table.row_count && table.table_type != kSystemTableType && !entry.is_system) {
      Problem(name + ": the definition counts " + std::to_string(table.row_count) + " rows, the pages hold " +
              std::to_string(rows.size()));
    }
    RowDecoder decoder(pager_, table, text_);
    CrackedRow cracked;
    std::vector<std::vector<Value>> values(rows.size());
    std::vector<bool> readable(rows.size(), true);
    for (size_t r = 0; r < rows.size(); ++r) {
      try {
        RowSlot slot = ReadLiveRow(pager_, rows[r]);
        decoder.Crack(slot.data, slot.size, cracked);
        values[r].resize(table.columns.size());
        for (size_t c = 0; c < table.columns.size(); ++c) {
          values[r][c] = decoder.Decode(cracked, static_cast<int>(c));
          const ColumnDefinition& column = table.columns[c];
          if (column.is_autonumber() && values[r][c].type() == Value::Type::Integer &&
              values[r][c].integer() > static_cast<int64_t>(table.autonumber) && table.version == JetVersion::Jet4) {
            Problem(name + ", row " + RowName(rows[r]) + ": autonumber " + std::to_string(values[r][c].integer()) +
                    " is above the last one handed out (" + std::to_string(table.autonumber) + ")");
          }
        }
      } catch (const Error& error) {
        readable[r] = false;
        Problem(name + ", row " + RowName(rows[r]) + ": " + error.reason());
      }
    }

    for (const ColumnDefinition& column : table.columns) {
      if (!column.is_long_value() || column.lval_owned_map.page.is_none()) continue;
      const std::string owner = name + ", column \"" + ToUtf8(column.name) + "\" long values";
      std::vector<PageNumber> lval_pages;
      for (PageNumber number : MapPages(column.lval_owned_map, owner + " map")) {
        if (pager_.has_page(number) && LoadTableOwner(pager_, number) == kLongValueOwner) {
          lval_pages.push_back(number);
        }
      }
      Claim(owner, lval_pages);
    }

    if (table.version != JetVersion::Jet4) return;  // Jet 3 text keys use another code table
    for (const RealIndex& index : table.real_indexes) {
      CheckIndex(name, table, index, rows, values, readable);
    }
  }

  void CheckIndex(const std::string& table_name, const TableDefinition& table, const RealIndex& index,
                  const std::vector<RowId>& rows, const std::vector<std::vector<Value>>& values,
                  const std::vector<bool>& readable) {
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
    if (!IndexSortOrdersKnown(table, index)) return;  // its keys cannot be recomputed here

    std::vector<std::pair<std::string, RowId>> expected;
    std::set<RowId> with_null;
    for (size_t r = 0; r < rows.size(); ++r) {
      if (!readable[r]) return;
      bool all_null = true;
      for (const IndexColumn& c : index.columns) {
        const int position = table.PositionOfNumber(c.column_number);
        if (position >= 0 && !values[r][position].is_null()) all_null = false;
      }
      if (all_null && index.ignore_nulls()) continue;
      for (const IndexColumn& c : index.columns) {
        const int position = table.PositionOfNumber(c.column_number);
        if (position < 0 || values[r][position].is_null()) with_null.insert(rows[r]);
      }
      try {
        expected.emplace_back(EncodeIndexKey(table, index, values[r]), rows[r]);
      } catch (const Error& error) {
        Problem(name + ", row " + RowName(rows[r]) + ": no key: " + error.reason());
        return;
      }
    }
    std::sort(expected.begin(), expected.end());
    std::vector<std::pair<std::string, RowId>> actual;
    IndexTree tree(
        pager_, index.root_page, table.tdef_page, [] { return kNoPage; }, [](PageNumber) {}, pager_.file_name());
    tree.ForEach([&](std::string_view key, RowId row) { actual.emplace_back(std::string(key), row); });

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
    if (index.unique()) {
      // Jet lets rows with a Null in the key through a unique index more than once.
      std::map<std::string, RowId> seen;
      for (const auto& [key, row] : expected) {
        if (with_null.count(row)) continue;
        auto [it, inserted] = seen.emplace(key, row);
        if (!inserted) {
          Problem(name + ": the unique index holds key " + Hex(key) + " for rows " + RowName(it->second) + " and " +
                  RowName(row));
          break;
        }
      }
    }
  }

  PageStore& pager_;
  CheckReport& report_;
  TextDecoder text_;
  std::map<PageNumber, std::string> owners_;
};

}  // namespace

CheckReport CheckDatabase(PageStore& pager, uint64_t file_size) {
  CheckReport report;
  Checker(pager, report).Run(file_size);
  return report;
}

}  // namespace engine::jet
