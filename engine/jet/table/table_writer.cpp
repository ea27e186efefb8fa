#include "engine/jet/table/table_writer.h"

#include "engine/base/error.h"
#include "engine/jet/index/sort_key.h"
#include "engine/jet/page/usage_map.h"
#include "engine/jet/table/equality_index.h"
#include "engine/jet/table/index_column_names.h"
#include "engine/jet/table/relationship_keeper.h"
#include "engine/jet/table/table_error.h"

namespace engine::jet {

TableWriter::TableWriter(PageStore& store, TableDefinition table, TextLocale locale, std::string file_name,
                         TableRules rules, IndexPageReuse reuse)
    : store_(store),
      table_(std::move(table)),
      file_name_(std::move(file_name)),
      writes_this_format_(store.format().version == table_.version),
      counters_(store, table_),
      values_(table_, std::move(rules), std::move(locale), file_name_),
      rows_(store, table_, file_name_),
      indexes_(store, table_, file_name_, reuse),
      purge_(store, table_, indexes_, counters_, file_name_) {}

void TableWriter::Fail(const std::string& reason, ErrorKind kind) const {
  FailOnTable(file_name_, table_, reason, kind);
}

std::optional<std::string> TableWriter::ReadOnlyReason() const {
  if (!writes_this_format_) {
    return std::string("the table's definition is not in the database's own format");
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
      return "the index on " + IndexColumnNames(table_, index) +
             " uses a text sort order this program does not know, so it cannot keep it up to date";
    }
  }
  return std::nullopt;
}

void TableWriter::CheckBeforeWriting() {
  if (checked_) return;
  try {
    counters_.Check();
    std::vector<RowId> maps = {table_.owned_pages, table_.free_space_pages};
    for (const RealIndex& index : table_.real_indexes) maps.push_back(index.usage_map);
    for (const ColumnDefinition& column : table_.columns) {
      maps.push_back(column.lval_owned_map);
      maps.push_back(column.lval_free_map);
    }
    for (RowId map : maps) ReadUsageMap(store_, map);
  } catch (const Error& error) {
    Fail(error.reason(), error.kind());
  }
  indexes_.OpenAll();
  checked_ = true;
}

TableWriter::PreparedRow TableWriter::Prepare(std::vector<Value> values) {
  if (auto reason = ReadOnlyReason()) Fail(*reason, ErrorKind::UnsupportedFormat);
  if (values.size() > table_.columns.size()) Fail("more values than columns", ErrorKind::Other);
  CheckBeforeWriting();
  PreparedRow prepared;
  prepared.values = values_.Convert(std::move(values), counters_.last_autonumber(), &prepared.new_autonumber);
  if (relationships_) relationships_->CheckNewRow(table_, prepared.values);
  prepared.row = rows_.Encode(prepared.values);
  prepared.keys = indexes_.MakeKeys(prepared.values);
  return prepared;
}

RowId TableWriter::Store(PreparedRow prepared) {
  const RowId row = rows_.Write(prepared.values, std::move(prepared.row));
  indexes_.Add(prepared.keys, row, counters_);
  counters_.set_row_count(counters_.row_count() + 1);
  if (prepared.new_autonumber && *prepared.new_autonumber > counters_.last_autonumber()) {
    counters_.set_last_autonumber(*prepared.new_autonumber);
  }
  return row;
}

void TableWriter::DeleteAll() {
  if (auto reason = ReadOnlyReason()) Fail(*reason, ErrorKind::UnsupportedFormat);
  CheckBeforeWriting();
  rows_.ForgetCachedPages();  // the purge empties the page new rows went to
  purge_.Run();
}

long TableWriter::DeleteRows(const RowSet& rows) {
  if (auto reason = ReadOnlyReason()) Fail(*reason, ErrorKind::UnsupportedFormat);
  CheckBeforeWriting();
  return purge_.DeleteRows(rows);
}

void TableWriter::ForgetCachedPages() {
  indexes_.Forget();
  rows_.ForgetCachedPages();
}

std::optional<std::vector<RowId>> TableWriter::FindEqual(int position, std::u16string_view literal) {
  const std::optional<size_t> index = TextEqualityIndex(table_, position);
  if (!index) return std::nullopt;
  if (!writes_this_format_) return indexes_.FindEqual(*index, literal, false);
  CheckBeforeWriting();  // a lookup here comes before a change
  return indexes_.FindEqual(*index, literal, true);
}

std::optional<std::vector<RowId>> TableWriter::FindKey(const std::vector<int>& positions,
                                                      const std::vector<Value>& values) {
  if (!writes_this_format_) return std::nullopt;  // older indexes are not read
  const std::optional<size_t> index = indexes_.IndexOn(positions);
  if (!index) return std::nullopt;
  CheckBeforeWriting();
  return indexes_.FindKey(*index, values);
}

}  // namespace engine::jet
