// The table writer's frame: what it is made of, whether it may write at all, the check
// before its first change, and Prepare, which runs the row's checks in order. The steps live
// beside it: table_writer_values.cpp (conversion, autonumbers, rules), table_writer_fields.cpp
// (the row's fields and size), table_writer_keys.cpp (index keys and lookups),
// table_writer_trees.cpp (the index trees kept between rows), table_writer_store.cpp (writing
// a prepared row) and table_writer_purge.cpp (DELETE *).
#include "engine/jet/table/table_writer.h"

#include "engine/error.h"
#include "engine/jet/index/sort_key.h"
#include "engine/jet/table/index_column_names.h"

namespace engine::jet {

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
  for (size_t i = 0; i < table_.real_indexes.size(); ++i) Tree(i);
  checked_ = true;
}

TableWriter::PreparedRow TableWriter::Prepare(std::vector<Value> values) {
  if (auto reason = ReadOnlyReason()) Fail(*reason, ErrorKind::UnsupportedFormat);
  if (values.size() > table_.columns.size()) Fail("more values than columns", ErrorKind::Other);
  CheckBeforeWriting();
  PreparedRow prepared;
  ConvertValues(values, prepared);
  EncodeFields(prepared);
  MakeKeys(prepared);
  return prepared;
}

}  // namespace engine::jet
