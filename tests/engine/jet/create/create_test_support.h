// Helpers of the database-creation tests: reading a file back through the engine's own
// reader, and checking the invariants every database must keep (usage maps against the
// global map, index trees against the table rows).
#pragma once

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/bytes.h"
#include "engine/jet/format/byte_reader.h"
#include "engine/jet/catalog/catalog.h"
#include "engine/jet/check/checker.h"
#include "engine/jet/page/data_page.h"
#include "engine/jet/index/index_check.h"
#include "engine/jet/index/index_tree.h"
#include "engine/jet/storage/pager.h"
#include "engine/jet/row/row_decoder.h"
#include "engine/jet/index/sort_key.h"
#include "engine/jet/catalog/table_definition_reader.h"
#include "engine/jet/row/table_scan.h"
#include "engine/jet/row/text_codec.h"
#include "engine/jet/page/usage_map.h"
#include "tests/support/files.h"
#include "tests/support/fixtures.h"

namespace testsupport {

using engine::GetU32;
using engine::Value;
using namespace engine::jet;

// A database opened read-only with the engine's reader.
class OpenedDatabase {
 public:
  explicit OpenedDatabase(const std::filesystem::path& path)
      : pager_(Pager::Open(path, engine::OpenMode::ReadOnly)),
        text_(pager_->format().version, pager_->header().code_page, path.string()) {}

  Pager& pager() { return *pager_; }
  std::vector<CatalogEntry> Catalog() { return ReadCatalog(*pager_, text_); }

  bool HasTable(const std::u16string& name) {
    for (const CatalogEntry& entry : Catalog()) {
      if (entry.name == name) return true;
    }
    return false;
  }

  TableDefinition Table(const std::u16string& name) {
    for (const CatalogEntry& entry : Catalog()) {
      if (entry.name == name) return ReadTableDefinition(*pager_, text_, entry.tdef_page, entry.name);
    }
    ADD_FAILURE() << "no table " << engine::ToUtf8(name);
    return {};
  }

  // Every live row's values by column position, and where each row is.
  std::vector<std::vector<Value>> Rows(const TableDefinition& table, std::vector<RowId>* ids = nullptr) {
    RowDecoder decoder(*pager_, table, text_);
    std::vector<std::vector<Value>> rows;
    CrackedRow cracked;
    for (const RowId& id : ListLiveRows(*pager_, table)) {
      const RowSlot slot = ReadLiveRow(*pager_, id);
      decoder.Crack(slot.data, slot.size, cracked);
      std::vector<Value> values;
      for (size_t i = 0; i < table.columns.size(); ++i) values.push_back(decoder.Decode(cracked, static_cast<int>(i)));
      rows.push_back(std::move(values));
      if (ids) ids->push_back(id);
    }
    return rows;
  }

 private:
  std::unique_ptr<Pager> pager_;
  TextDecoder text_;
};

// Columns by name: type, number, lengths, flags and where the value sits in a row.
inline void ExpectSameColumns(const TableDefinition& made, const TableDefinition& jet) {
  ASSERT_EQ(made.columns.size(), jet.columns.size()) << engine::ToUtf8(jet.name);
  EXPECT_EQ(made.max_columns, jet.max_columns);
  EXPECT_EQ(made.var_columns, jet.var_columns);
  EXPECT_EQ(made.table_type, jet.table_type);
  for (const ColumnDefinition& expected : jet.columns) {
    SCOPED_TRACE(engine::ToUtf8(jet.name) + "." + engine::ToUtf8(expected.name));
    auto found = std::find_if(made.columns.begin(), made.columns.end(),
                              [&](const ColumnDefinition& c) { return c.name == expected.name; });
    ASSERT_NE(found, made.columns.end());
    EXPECT_EQ(found->type, expected.type);
    EXPECT_EQ(found->number, expected.number);
    EXPECT_EQ(found->length, expected.length);
    EXPECT_EQ(found->flags, expected.flags);
    EXPECT_EQ(found->extra_flags, expected.extra_flags);
    if (expected.is_fixed()) {
      // Jet leaves stale numbers in the fixed offset of variable columns; only fixed ones count.
      EXPECT_EQ(found->fixed_offset, expected.fixed_offset);
    } else {
      EXPECT_EQ(found->var_index, expected.var_index);
    }
    EXPECT_EQ(found->sort_order, expected.sort_order);
    EXPECT_EQ(found->sort_version, expected.sort_version);
  }
}

// Logical indexes by name: kind, and the columns, order and flags of the tree they use.
inline void ExpectSameIndexes(const TableDefinition& made, const TableDefinition& jet) {
  ASSERT_EQ(made.logical_indexes.size(), jet.logical_indexes.size()) << engine::ToUtf8(jet.name);
  ASSERT_EQ(made.real_indexes.size(), jet.real_indexes.size());
  for (const LogicalIndex& expected : jet.logical_indexes) {
    SCOPED_TRACE(engine::ToUtf8(jet.name) + " index " + engine::ToUtf8(expected.name));
    auto found = std::find_if(made.logical_indexes.begin(), made.logical_indexes.end(),
                              [&](const LogicalIndex& i) { return i.name == expected.name; });
    ASSERT_NE(found, made.logical_indexes.end());
    EXPECT_EQ(found->kind, expected.kind);
    const RealIndex& made_real = made.real_indexes.at(found->real_index);
    const RealIndex& jet_real = jet.real_indexes.at(expected.real_index);
    EXPECT_EQ(made_real.flags, jet_real.flags);
    ASSERT_EQ(made_real.columns.size(), jet_real.columns.size());
    for (size_t i = 0; i < jet_real.columns.size(); ++i) {
      EXPECT_EQ(made_real.columns[i].column_number, jet_real.columns[i].column_number);
      EXPECT_EQ(made_real.columns[i].ascending, jet_real.columns[i].ascending);
    }
    EXPECT_EQ(made_real.unique_entry_count, jet_real.unique_entry_count);
  }
}

// Pages inside the file that the global usage map (page 1, row 0) marks free. Bits for pages
// past the end of the file are normal there (free space to come) and are left out.
inline std::vector<PageNumber> GlobalFreePages(Pager& pager) {
  const RowSlot row = ReadRowSlot(pager, PageNumber(1), 0);
  std::vector<PageNumber> pages;
  if (row.size < 5 || row.data[0] != 0x00) {
    ADD_FAILURE() << "the global usage map is not an inline map";
    return pages;
  }
  const uint32_t first = GetU32(row.data + 1);
  for (size_t bit = 0; bit < (row.size - 5) * 8; ++bit) {
    if ((row.data[5 + bit / 8] >> (bit % 8) & 1) && first + bit < pager.page_count()) {
      pages.push_back(PageNumber(static_cast<uint32_t>(first + bit)));
    }
  }
  return pages;
}

// The rules a written database must keep, as readable lines (empty when all hold): those of
// the engine's own checker (`archivi check`), and these, checked independently of it:
// - every page of the file is used in the global map (page 1, row 0; a set bit = free);
// - no page is listed by two owners (table data, index trees, TDEF chains);
// - each table's TDEF row count equals its live rows;
// - each index tree passes the structural check, all its pages are in its usage map, and its
//   entries are exactly the keys of the live rows (ignore-nulls indexes skip all-Null keys).
inline std::vector<std::string> CheckDatabase(const std::filesystem::path& path) {
  std::vector<std::string> problems;
  OpenedDatabase db(path);
  Pager& pager = db.pager();
  for (const std::string& problem : engine::jet::CheckDatabase(pager, std::filesystem::file_size(path)).problems) {
    problems.push_back("archivi check: " + problem);
  }
  const std::vector<PageNumber> global = GlobalFreePages(pager);
  const std::set<PageNumber> free_pages(global.begin(), global.end());
  std::map<PageNumber, std::string> owner_of;
  auto claim = [&](PageNumber page, const std::string& owner) {
    if (free_pages.count(page)) problems.push_back(owner + ": page " + to_string(page) + " is free in the global map");
    auto [it, added] = owner_of.emplace(page, owner);
    if (!added) problems.push_back("page " + to_string(page) + " belongs to " + it->second + " and " + owner);
  };
  for (PageNumber page : free_pages) {
    if (pager.has_page(page)) problems.push_back("page " + to_string(page) + " is in the file but marked free");
  }
  for (const CatalogEntry& entry : db.Catalog()) {
    const std::string name = engine::ToUtf8(entry.name);
    const TableDefinition table = db.Table(entry.name);
    for (PageNumber page : table.tdef_pages) claim(page, name + " definition");
    for (PageNumber page : ReadUsageMap(pager, table.owned_pages)) claim(page, name + " data");
    std::vector<RowId> ids;
    const std::vector<std::vector<Value>> rows = db.Rows(table, &ids);
    if (rows.size() != table.row_count) {
      problems.push_back(name + ": row count " + std::to_string(table.row_count) + " but " +
                         std::to_string(rows.size()) + " live rows");
    }
    for (const RealIndex& index : table.real_indexes) {
      const std::string label = name + " index " + std::to_string(index.number);
      const std::vector<PageNumber> map = ReadUsageMap(pager, index.usage_map);
      const std::set<PageNumber> in_map(map.begin(), map.end());
      const IndexCheckResult result = CheckIndexTree(pager, index.root_page, table.tdef_page,
                                                     [&](PageNumber page) { return in_map.count(page) > 0; });
      for (const std::string& problem : result.problems) problems.push_back(label + ": " + problem);
      for (PageNumber page : result.pages) claim(page, label);
      std::multiset<std::pair<std::string, RowId>> expected, found;
      for (size_t i = 0; i < rows.size(); ++i) {
        bool all_null = true;
        for (const IndexColumn& column : index.columns) {
          all_null = all_null && rows[i][table.PositionOfNumber(column.column_number)].is_null();
        }
        if (index.ignore_nulls() && all_null) continue;
        expected.insert({EncodeIndexKey(table, index, rows[i]), ids[i]});
      }
      IndexTree tree(pager, index.root_page, table.tdef_page, nullptr, nullptr, path.string());
      tree.ForEach([&](std::string_view key, RowId row) { found.insert({std::string(key), row}); });
      if (expected != found) {
        problems.push_back(label + ": " + std::to_string(found.size()) + " entries do not match the " +
                           std::to_string(expected.size()) + " rows");
      }
    }
  }
  return problems;
}

}  // namespace testsupport
