#include "engine/jet/table/table_writer.h"

#include <algorithm>
#include <cstring>
#include <random>

#include "engine/bytes.h"
#include "engine/error.h"
#include "engine/jet/catalog/tdef_layout.h"
#include "engine/jet/format/format.h"
#include "engine/jet/index/index_check.h"
#include "engine/jet/index/index_tree.h"
#include "engine/jet/page/long_value_writer.h"
#include "engine/jet/row/row_encoder.h"
#include "engine/jet/index/sort_key.h"
#include "engine/jet/row/value_conversion.h"

namespace engine::jet {
namespace {

std::string ColumnNames(const TableDefinition& table, const RealIndex& index) {
  std::string names;
  for (const IndexColumn& column : index.columns) {
    const int position = table.PositionOfNumber(column.column_number);
    if (position < 0) continue;
    if (!names.empty()) names += ", ";
    names += "\"" + ToUtf8(table.columns[position].name) + "\"";
  }
  return names;
}

}  // namespace

TableWriter::TableWriter(PageStore& store, TableDefinition table, TextLocale locale, std::string file_name,
                         TableRules rules, IndexPageReuse reuse)
    : store_(store),
      format_(store.format()),
      table_(std::move(table)),
      counters_(store, table_),
      rules_(std::move(rules)),
      locale_(std::move(locale)),
      file_name_(std::move(file_name)),
      text_(format_.version, store.header().code_page, file_name_),
      decoder_(store, table_, text_),
      matching_rows_(table_.real_indexes.size()),
      allocator_(store),
      placer_(store, allocator_, table_.tdef_page.value(), table_.owned_pages, table_.free_space_pages),
      trees_(table_.real_indexes.size()),
      primary_key_(table_.real_indexes.size(), false),
      reuse_(reuse),
      writes_this_format_(format_.version == JetVersion::Jet4 && table_.version == JetVersion::Jet4) {
  for (const LogicalIndex& logical : table_.logical_indexes) {
    if (logical.kind == kLogicalPrimaryKey && logical.real_index < primary_key_.size()) primary_key_[logical.real_index] = true;
  }
}

TableWriter::~TableWriter() = default;

std::vector<Value> TableWriter::NewRecord() {
  try {
    return rules_.NewRecord(table_, locale_);
  } catch (const Error& error) {
    throw error.Within(file_name_);
  }
}

void TableWriter::Fail(const std::string& reason, ErrorKind kind) const {
  throw Error(file_name_, "table \"" + ToUtf8(table_.name) + "\": " + reason, kind);
}

std::optional<std::string> TableWriter::ReadOnlyReason() const {
  if (!writes_this_format_) {
    return std::string("only Access 2000-2003 databases can be written");
  }
  for (const ColumnDefinition& column : table_.columns) {
    switch (column.type) {
      case ColumnType::Complex:
        return "the column \"" + ToUtf8(column.name) + "\" has a type this program cannot write";
      default:
        break;
    }
  }
  for (const RealIndex& index : table_.real_indexes) {
    if (!IndexSortOrdersKnown(table_, index)) {
      return "the index on " + ColumnNames(table_, index) +
             " uses a text sort order this program does not know, so it cannot keep it up to date";
    }
  }
  return std::nullopt;
}

// Pages an index gives back (DELETE *) stay in its usage map, marked used, and are handed
// out again before the file grows: otherwise every purge-and-import cycle would add a whole
// new set of index pages to the file. They are found again on every start as the pages of
// the index's map that its tree does not reach.
std::vector<PageNumber> TableWriter::SparePagesOf(const RealIndex& index) {
  if (index.usage_map.page.is_none()) return {};
  // The walk reads every page of the tree, so it checks the whole tree too: a change must not
  // start on a tree that does not hold together.
  IndexCheckResult tree = CheckIndexTree(store_, index.root_page, table_.tdef_page);
  if (!tree.ok()) Fail("an index is damaged (" + tree.problems.front() + ")", ErrorKind::Damaged);
  std::vector<PageNumber> in_tree = std::move(tree.pages);
  std::sort(in_tree.begin(), in_tree.end());
  std::vector<PageNumber> spare;
  for (PageNumber page : UsageMapEditor(store_, index.usage_map).Pages()) {
    if (!store_.has_page(page) || page.value() <= 2 || std::binary_search(in_tree.begin(), in_tree.end(), page)) {
      continue;
    }
    // Only what still looks like an old index page of this table, in case a map lists a
    // page that went elsewhere.
    const uint8_t* bytes = store_.ReadPage(page);
    // (A tree that lets a page go zeroes its first bytes, as Jackcess does.)
    if ((bytes[0] == kIndexNodePageType || bytes[0] == kIndexLeafPageType || bytes[0] == kPageHeaderOrFreed) &&
        GetPageNumber(bytes + kIndexOwnerOffset) == table_.tdef_page) {
      spare.push_back(page);
    }
  }
  std::reverse(spare.begin(), spare.end());  // handed out from the back: lowest first
  return spare;
}

IndexTree& TableWriter::Tree(size_t i) {
  if (!trees_[i]) {
    const RealIndex& index = table_.real_indexes[i];
    auto spare = std::make_shared<std::vector<PageNumber>>(
        reuse_ == IndexPageReuse::SparePages ? SparePagesOf(index) : std::vector<PageNumber>{});
    auto allocate = [this, spare, map = index.usage_map] {
      if (!spare->empty()) {
        const PageNumber page = spare->back();
        spare->pop_back();
        std::memset(store_.WritePage(page), 0, store_.page_size());
        allocator_.MarkUsed(page);
        return page;
      }
      const PageNumber page = allocator_.Allocate();
      if (!map.page.is_none()) UsageMapEditor(store_, map, [this] { return allocator_.Allocate(); }).Add(page);
      return page;
    };
    auto release = [this, spare, map = index.usage_map](PageNumber page) {
      if (!map.page.is_none()) {
        spare->push_back(page);
      } else {
        allocator_.Release(page);
      }
    };
    trees_[i] = std::make_unique<IndexTree>(store_, index.root_page, table_.tdef_page, allocate, release, file_name_);
    trees_[i]->BeginBatch();
  }
  return *trees_[i];
}

void TableWriter::Flush() {
  for (auto& tree : trees_) {
    if (!tree || !tree->has_unwritten_changes()) continue;
    tree->Flush();
    tree->BeginBatch();
  }
}

std::optional<std::vector<RowId>> TableWriter::FindEqual(int position, std::u16string_view literal) {
  if (position < 0 || static_cast<size_t>(position) >= table_.columns.size()) return std::nullopt;
  const ColumnDefinition& column = table_.columns[position];
  if (table_.version != JetVersion::Jet4 || column.type != ColumnType::Text || !HasKnownSortOrder(column)) {
    return std::nullopt;
  }
  for (size_t i = 0; i < table_.real_indexes.size(); ++i) {
    const RealIndex& index = table_.real_indexes[i];
    if (index.columns.size() != 1 || index.columns[0].column_number != column.number || index.root_page.is_none())
      continue;
    std::string key;
    AppendTextKey(literal, index.columns[0].ascending, &key);
    if (!writes_this_format_) return Tree(i).FindEqual(key);
    CheckBeforeWriting();  // a lookup here comes before a change
    IndexTree::Neighbours around;
    std::vector<RowId> rows = Tree(i).FindEqual(key, &around);
    if (rows.empty()) CheckNeighbours(i, around);
    return rows;
  }
  return std::nullopt;
}

// A value not found is about to be added. One damaged byte can change an entry's key without
// breaking the order, and the value it stood for would then be added a second time; such an
// entry sits right beside the place searched, so the entries there are read back from their
// rows.
void TableWriter::CheckNeighbours(size_t i, const IndexTree::Neighbours& around) {
  for (const std::optional<IndexEntry>* entry : {&around.below, &around.above}) {
    if (*entry && !EntryMatchesRow(i, **entry)) {
      Fail("an index entry does not match its row (index on " + ColumnNames(table_, table_.real_indexes[i]) + ")",
           ErrorKind::Damaged);
    }
  }
}

bool TableWriter::EntryMatchesRow(size_t i, const IndexEntry& entry) {
  const uint32_t row_key = (entry.row.page.value() << 8) | entry.row.row;
  if (matching_rows_[i].count(row_key)) return true;
  const RealIndex& index = table_.real_indexes[i];
  const RowSlot slot = ReadLiveRow(store_, entry.row);
  decoder_.Crack(slot.data, slot.size, cracked_);
  row_values_.assign(table_.columns.size(), Value());
  for (const IndexColumn& column : index.columns) {
    const int position = table_.PositionOfNumber(column.column_number);
    if (position >= 0) row_values_[position] = decoder_.Decode(cracked_, position);
  }
  std::string key;
  EncodeIndexKey(table_, index, row_values_, &key);
  if (key != entry.key.view()) return false;
  matching_rows_[i].insert(row_key);
  return true;
}

void TableWriter::ForgetCachedPages() {
  for (auto& tree : trees_) tree.reset();
  for (auto& rows : matching_rows_) rows.clear();
  placer_.ForgetHint();
}

void TableWriter::CheckBeforeWriting() {
  if (checked_) return;
  try {
    counters_.Check();
    std::vector<RowPointer> maps = {table_.owned_pages, table_.free_space_pages};
    for (const RealIndex& index : table_.real_indexes) maps.push_back(index.usage_map);
    for (const ColumnDefinition& column : table_.columns) {
      maps.push_back(column.lval_owned_map);
      maps.push_back(column.lval_free_map);
    }
    for (RowPointer map : maps) ReadUsageMap(store_, map);
  } catch (const Error& error) {
    Fail(error.reason(), error.kind());
  }
  for (size_t i = 0; i < table_.real_indexes.size(); ++i) Tree(i);
  checked_ = true;
}

TableWriter::PreparedRow TableWriter::Prepare(const std::vector<Value>& values) {
  if (auto reason = ReadOnlyReason()) Fail(*reason, ErrorKind::UnsupportedFormat);
  if (values.size() > table_.columns.size()) Fail("more values than columns", ErrorKind::Other);
  CheckBeforeWriting();
  PreparedRow prepared;
  prepared.values.resize(table_.columns.size());
  uint32_t autonumber = counters_.last_autonumber();
  for (size_t i = 0; i < table_.columns.size(); ++i) {
    const ColumnDefinition& column = table_.columns[i];
    Value value = i < values.size() ? values[i] : Value();
    try {
      value = ConvertForColumn(column, value, locale_);
    } catch (const Error& error) {
      throw error.Within(file_name_, "table \"" + ToUtf8(table_.name) + "\": ");
    }
    if (column.type == ColumnType::Boolean && value.is_null()) value = Value::Flag(false);
    if (column.is_autonumber() && column.type == ColumnType::Long) {
      if (value.is_null()) {
        if (autonumber >= static_cast<uint32_t>(INT32_MAX)) {
          Fail("the autonumber column \"" + ToUtf8(column.name) + "\" is exhausted", ErrorKind::TooLarge);
        }
        value = Value::Integer(++autonumber);
        prepared.new_autonumber = autonumber;
      } else if (value.integer() > 0 && static_cast<uint32_t>(value.integer()) > autonumber) {
        // An explicit id moves the counter on, as Jet does.
        autonumber = static_cast<uint32_t>(value.integer());
        prepared.new_autonumber = autonumber;
      }
    }
    if ((column.flags & kColumnGuidAutonumber) && column.type == ColumnType::Guid && value.is_null()) {
      static thread_local std::mt19937_64 random{std::random_device{}()};
      Guid guid;
      for (auto& b : guid.bytes) b = static_cast<uint8_t>(random());
      guid.bytes[7] = static_cast<uint8_t>((guid.bytes[7] & 0x0F) | 0x40);  // version 4
      value = Value::Id(guid);
    }
    prepared.values[i] = std::move(value);
  }
  // Refusals by a rule keep the user's text as it is (no table prefix).
  try {
    rules_.Check(table_, prepared.values, locale_);
  } catch (const Error& error) {
    throw error.Within(file_name_);
  }

  // Size check with long values at their largest row footprint, before anything is written.
  std::vector<EncodedField>& fields = prepared.fields;
  fields.resize(table_.columns.size());
  for (size_t i = 0; i < table_.columns.size(); ++i) {
    const ColumnDefinition& column = table_.columns[i];
    const Value& value = prepared.values[i];
    if (column.type == ColumnType::Boolean) {
      fields[i].present = value.flag();
      continue;
    }
    if (value.is_null()) continue;
    fields[i].present = true;
    if (column.is_long_value()) {
      fields[i].bytes.assign(kLongValueHeaderSize, '\0');
    } else if (column.type == ColumnType::Text) {
      fields[i].bytes = EncodeText(column, value.text());
    } else if (column.type == ColumnType::Binary) {
      fields[i].bytes.assign(value.binary().begin(), value.binary().end());
    } else {
      fields[i].bytes = EncodeFixedValue(column, value);
    }
  }
  try {
    prepared.row_size = EncodeRow(table_, fields).size();
  } catch (const Error& error) {
    Fail(error.reason(), error.kind());
  }

  prepared.keys.resize(table_.real_indexes.size());
  for (size_t i = 0; i < table_.real_indexes.size(); ++i) {
    const RealIndex& index = table_.real_indexes[i];
    size_t nulls = 0;
    for (const IndexColumn& c : index.columns) {
      const int position = table_.PositionOfNumber(c.column_number);
      if (position < 0 || prepared.values[position].is_null()) ++nulls;
    }
    if (nulls > 0 && (primary_key_[i] || index.required())) {
      Fail(std::string(primary_key_[i] ? "the primary key " : "the required index ") + "on " + ColumnNames(table_, index) +
           " needs a value",
           ErrorKind::InvalidValue);
    }
    if (nulls == index.columns.size() && index.ignore_nulls()) continue;
    std::string key;
    try {
      EncodeIndexKey(table_, index, prepared.values, &key);
    } catch (const Error& error) {
      Fail(error.reason(), error.kind());
    }
    if (key.size() > kMaxIndexKeySize) {
      Fail("a value is too long for the index on " + ColumnNames(table_, index), ErrorKind::InvalidValue);
    }
    // Jet lets several rows with a Null in a unique index's columns through.
    if (index.unique() && nulls == 0 && Tree(i).Contains(key)) {
      Fail("the value of " + ColumnNames(table_, index) +
               " is already in the table, and its index allows no duplicates",
           ErrorKind::Duplicate);
    }
    prepared.keys[i] = std::move(key);
  }
  return prepared;
}

std::string TableWriter::EncodeLongValue(size_t position, const Value& value, bool may_inline) {
  const ColumnDefinition& column = table_.columns[position];
  std::string data;
  if (column.type == ColumnType::Memo) {
    data = EncodeText(column, value.text());
  } else {
    data.assign(value.binary().begin(), value.binary().end());
  }
  LongValueWriter writer(store_, allocator_, column);
  return writer.Write(data, may_inline);
}

RowId TableWriter::Store(PreparedRow prepared) {
  std::vector<EncodedField>& fields = prepared.fields;
  size_t row_size = prepared.row_size;
  for (size_t position = 0; position < table_.columns.size(); ++position) {
    if (!table_.columns[position].is_long_value() || !fields[position].present) continue;
    // Short values go inline while the row stays within a page.
    const Value& value = prepared.values[position];
    const size_t length = table_.columns[position].type == ColumnType::Memo
                              ? EncodeText(table_.columns[position], value.text()).size()
                              : value.binary().size();
    const bool may_inline = length <= kMaxInlineLongValue && row_size + length <= kMaxRowSize;
    if (may_inline) row_size += length;
    fields[position].bytes = EncodeLongValue(position, value, may_inline);
  }
  const RowId row = placer_.Place(EncodeRow(table_, fields));

  for (size_t i = 0; i < table_.real_indexes.size(); ++i) {
    if (!prepared.keys[i]) continue;
    if (Tree(i).Insert(*prepared.keys[i], row)) counters_.AddUniqueEntry(table_.real_indexes[i]);
    matching_rows_[i].insert((row.page.value() << 8) | row.row);
  }
  counters_.set_row_count(counters_.row_count() + 1);
  if (prepared.new_autonumber && *prepared.new_autonumber > counters_.last_autonumber()) {
    counters_.set_last_autonumber(*prepared.new_autonumber);
  }
  return row;
}

void TableWriter::FreeLongValuesOfRows(const std::vector<size_t>& positions) {
  CrackedRow cracked;
  UsageMapEditor owned(store_, table_.owned_pages);
  for (PageNumber page_number : owned.Pages()) {
    if (!store_.has_page(page_number)) continue;
    if (!DataPage(store_.ReadPage(page_number), store_.format()).owned_by(table_.tdef_page)) continue;
    const CheckedDataPage page = CheckedDataPage::Check(store_, page_number, table_.tdef_page.value());
    for (uint16_t slot = 0; slot < page.slot_count(); ++slot) {
      const SlotEntry entry = page.slot(slot);
      if (entry.flags != 0) continue;
      // A copy: freeing a long value may change this page.
      const std::vector<uint8_t> row(page.row_data(entry), page.row_data(entry) + (entry.end - entry.start));
      // A row that does not decode would keep its long values for ever: refuse instead.
      CrackRow(format_, table_.var_columns != 0, row.data(), row.size(), cracked, file_name_);
      for (size_t position : positions) {
        const uint8_t* field = nullptr;
        size_t size = 0;
        bool present = false;
        try {
          present = LocateField(cracked, table_.columns[position], &field, &size, file_name_);
        } catch (const Error&) {
        }
        if (present) FreeLongValue(store_, std::string_view(reinterpret_cast<const char*>(field), size));
      }
    }
  }
}

void TableWriter::DeleteAll() {
  if (auto reason = ReadOnlyReason()) Fail(*reason, ErrorKind::UnsupportedFormat);
  CheckBeforeWriting();
  // Long values: a column with its own LVAL maps has all its pages emptied; without maps
  // (older files, where LVAL pages may be shared) follow each row's pointers.
  std::vector<size_t> unmapped;
  for (size_t i = 0; i < table_.columns.size(); ++i) {
    const ColumnDefinition& column = table_.columns[i];
    if (!column.is_long_value()) continue;
    if (column.lval_owned_map.page.is_none()) {
      unmapped.push_back(i);
      continue;
    }
    UsageMapEditor owned(store_, column.lval_owned_map);
    for (PageNumber page_number : owned.Pages()) {
      if (!store_.has_page(page_number)) continue;
      if (!DataPage(store_.ReadPage(page_number), store_.format()).owned_by(kLongValueOwner)) continue;
      CheckedDataPage page = CheckedDataPage::Check(store_, page_number, kLongValueOwner);
      if (page.slot_count() == 0) continue;
      page.Empty();
      if (!column.lval_free_map.page.is_none()) {
        UsageMapEditor(store_, column.lval_free_map, [this] { return allocator_.Allocate(); }).Add(page_number);
      }
    }
  }
  if (!unmapped.empty()) FreeLongValuesOfRows(unmapped);

  UsageMapEditor owned(store_, table_.owned_pages);
  for (PageNumber page_number : owned.Pages()) {
    if (!store_.has_page(page_number)) continue;
    if (!DataPage(store_.ReadPage(page_number), store_.format()).owned_by(table_.tdef_page)) continue;
    CheckedDataPage page = CheckedDataPage::Check(store_, page_number, table_.tdef_page.value());
    if (page.slot_count() == 0) continue;
    page.Empty();
    if (!table_.free_space_pages.page.is_none()) {
      UsageMapEditor(store_, table_.free_space_pages, [this] { return allocator_.Allocate(); }).Add(page_number);
    }
  }
  Flush();
  for (size_t i = 0; i < table_.real_indexes.size(); ++i) Tree(i).Clear();
  counters_.set_row_count(0);
}

}  // namespace engine::jet
