// Equality lookups: see row_lookup.h.
#include "engine/jet/table/row_lookup.h"

#include <string>

#include "engine/base/error.h"
#include "engine/jet/index/index_tree.h"
#include "engine/jet/index/sort_key.h"
#include "engine/jet/page/data_page.h"
#include "engine/jet/row/table_scan.h"
#include "engine/jet/table/equality_index.h"
#include "engine/text/code_page.h"

namespace engine::jet {
namespace {

std::string TextKey(std::u16string_view text) {
  std::string key;
  AppendTextKey(text, true, &key);
  return key;
}

// Jet compares a table's texts in its database's order: a scan keys them as the table's
// indexes would, so that it finds what a search through one finds. A Jet 3 code page the
// engine has no table for keeps the Jet 4 order, as texts of such a file are read at all.
bool KeysInTableOrder(const TableDefinition& table) {
  return table.version != JetVersion::Jet3 || UpperHalfOf(table.code_page) != nullptr;
}

}  // namespace

bool SameTextInGeneralOrder(std::u16string_view a, std::u16string_view b) { return TextKey(a) == TextKey(b); }

RowLookup::RowLookup(PageStore& pager, const TableDefinition& table, const TextDecoder& text, const TextLocale& locale)
    : pager_(pager), table_(table), locale_(locale), decoder_(pager, table, text) {}

RowLookup::~RowLookup() = default;

std::vector<RowId> RowLookup::FindEqual(int position, std::u16string_view literal) {
  used_index_ = false;
  if (const std::optional<size_t> index = TextEqualityIndex(table_, position)) {
    used_index_ = true;
    return FindWithIndex(table_.real_indexes[*index], literal);
  }
  return FindByScan(position, literal);
}

std::vector<RowId> RowLookup::FindWithIndex(const RealIndex& index, std::u16string_view literal) {
  std::string key;
  AppendTableTextKey(table_, literal, index.columns[0].ascending, &key);
  auto& tree = trees_[index.root_page];
  if (!tree) {
    auto read_only = [this]() -> PageNumber {
      throw Error(pager_.file_name(), "the database is open read-only", ErrorKind::ReadOnly);
    };
    tree = std::make_unique<IndexTree>(
        pager_, index.root_page, table_.tdef_page, read_only, [](PageNumber) {}, pager_.file_name());
  }
  std::vector<RowId> rows = tree->FindEqual(key);
  // An index entry must point at a live row of this table; anything else is damage.
  for (RowId id : rows) {
    RowSlot slot = ReadRowSlot(pager_, id.page, id.row);
    if (slot.deleted() || LoadTableOwner(pager_, id.page) != table_.tdef_page.value()) {
      pager_.Damaged("an index points to a row that is not in its table");
    }
  }
  return rows;
}

std::vector<RowId> RowLookup::FindByScan(int position, std::u16string_view literal) {
  const bool table_order = KeysInTableOrder(table_);
  const auto key_of = [&](std::u16string_view text, std::string* key) {
    if (table_order) {
      AppendTableTextKey(table_, text, true, key);
    } else {
      AppendTextKey(text, true, key);
    }
  };
  std::string wanted;
  key_of(literal, &wanted);
  std::vector<RowId> found;
  std::string key;
  // The cracked row points into the slot's page: declared after the slot, it goes first, and
  // each pass cracks the row again once the slot holds its new page.
  RowSlot slot;
  CrackedRow cracked;
  for (RowId id : ListLiveRows(pager_, table_)) {
    slot = ReadLiveRow(pager_, id);
    decoder_.Crack(slot.data, slot.size, cracked);
    const Value value = decoder_.Decode(cracked, position);
    if (value.is_null()) continue;
    key.clear();
    key_of(value.type() == Value::Type::Text ? value.text() : value.ToText(locale_), &key);
    if (key == wanted) found.push_back(id);
  }
  return found;
}

}  // namespace engine::jet
