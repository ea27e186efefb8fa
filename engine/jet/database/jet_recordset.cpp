// Jet record sets: see jet_recordset.h.
#include "engine/jet/database/jet_recordset.h"

#include <algorithm>

#include "engine/text/case_fold.h"
#include "engine/base/error.h"
#include "engine/jet/format/byte_reader.h"
#include "engine/jet/page/data_page.h"

namespace engine::jet {

JetRecordset::JetRecordset(Pager& pager, std::shared_ptr<const TableDefinition> table, const TextDecoder& text,
                           std::vector<RowId> rows, RecordWriter* writer)
    : pager_(pager), text_(text), table_(std::move(table)), rows_(std::move(rows)), writer_(writer) {
  decoder_.emplace(pager_, *table_, text_);
  // Made inside the read that found the rows: the walk goes on from there.
  generation_ = pager_.generation();
  walk_.emplace(pager_);
}

JetRecordset::JetRecordset(Pager& pager, std::shared_ptr<const TableDefinition> table, const TextDecoder& text,
                           RowLister list_rows, RecordWriter* writer)
    : pager_(pager), text_(text), table_(std::move(table)), list_rows_(std::move(list_rows)), writer_(writer) {
  decoder_.emplace(pager_, *table_, text_);
}

const std::vector<RowId>& JetRecordset::ListRows() const {
  if (!rows_) {
    walk_.reset();
    walk_.emplace(pager_);
    ListedRows listed = list_rows_();
    if (listed.table != table_) {
      cracked_position_ = SIZE_MAX;
      table_ = std::move(listed.table);
      decoder_.emplace(pager_, *table_, text_);
    }
    rows_ = std::move(listed.rows);
    counted_rows_ = listed.counted;
    generation_ = pager_.generation();
    EndWalkIfPastEnd();  // nothing to walk
  }
  // A walk over no rows ends before it starts: a table that counts rows its pages do not
  // hold at all cannot pass for an empty one.
  if (rows_->empty() && counted_rows_ && *counted_rows_ > 0) ThrowRowsNotAccountedFor();
  return *rows_;
}

void JetRecordset::ContinueWalk() const {
  if (!rows_) return;  // rows() begins the walk
  if (!walk_) walk_.emplace(pager_);
  if (pager_.generation() != generation_) {
    walk_.reset();
    throw Error(pager_.file_name(),
                "table \"" + ToUtf8(table_->name) + "\": the file was changed by another program while it was being read",
                ErrorKind::FileChanged);
  }
}

void JetRecordset::EndWalkIfPastEnd() const {
  if (rows_ && position_ >= rows_->size()) walk_.reset();
}

void JetRecordset::EndWalk() {
  walk_.reset();
  if (list_rows_) {
    rows_.reset();
    counted_rows_.reset();
    position_ = 0;
    cracked_position_ = SIZE_MAX;
    cracked_slot_ = {};
  }
}

long JetRecordset::UnreadRecords() const {
  if (!rows_ || !counted_rows_) return 0;
  // A damaged count is believed only as far as the file's pages could hold rows: the caller
  // reports each record never read.
  const uint64_t most = static_cast<uint64_t>(pager_.page_count()) * kMaxRowsPerDataPage;
  const uint64_t counted = std::min<uint64_t>(*counted_rows_, most);
  const uint64_t listed = rows_->size();
  return counted > listed ? static_cast<long>(counted - listed) : 0;
}

void JetRecordset::ThrowRowsNotAccountedFor() const {
  ThrowDamaged(pager_.file_name(), "table \"" + ToUtf8(table_->name) + "\": its definition counts " +
                                       std::to_string(*counted_rows_) + " rows, its pages hold " +
                                       std::to_string(rows_->size()));
}

void JetRecordset::RequireCurrent() const {
  if (Eof()) {
    throw Error(pager_.file_name(), "no current record in table \"" + ToUtf8(table_->name) + "\"",
                ErrorKind::NoCurrentRecord);
  }
}

void JetRecordset::MoveFirst() {
  ContinueWalk();
  position_ = 0;
  EndWalkIfPastEnd();
  RequireCurrent();
}

void JetRecordset::MoveLast() {
  ContinueWalk();
  position_ = rows().empty() ? 0 : rows().size() - 1;
  EndWalkIfPastEnd();
  RequireCurrent();
}

void JetRecordset::MoveNext() {
  RequireCurrent();
  ContinueWalk();
  ++position_;
  EndWalkIfPastEnd();
  if (position_ == rows().size() && counted_rows_ && *counted_rows_ != rows().size()) ThrowRowsNotAccountedFor();
}

std::u16string JetRecordset::FieldName(int position) const {
  if (position < 0 || position >= FieldCount()) {
    throw Error(pager_.file_name(), "table \"" + ToUtf8(table_->name) + "\" has no field number " +
                                        std::to_string(position),
                ErrorKind::NoSuchColumn);
  }
  return table_->columns[position].name;
}

int JetRecordset::FieldPosition(std::u16string_view name) const {
  // Callers name a field as it is spelt nearly always: that is a cheap comparison, asked for
  // every value of every record.
  for (size_t i = 0; i < table_->columns.size(); ++i) {
    if (table_->columns[i].name == name) return static_cast<int>(i);
  }
  for (size_t i = 0; i < table_->columns.size(); ++i) {
    if (SameName(table_->columns[i].name, name)) return static_cast<int>(i);
  }
  throw Error(pager_.file_name(), "table \"" + ToUtf8(table_->name) + "\" has no field \"" + ToUtf8(name) + "\"",
              ErrorKind::NoSuchColumn);
}

Value JetRecordset::GetValue(int position) const {
  if (position < 0 || position >= FieldCount()) FieldName(position);  // throws
  if (new_record_) return (*new_record_)[position];
  return decoder_->Decode(CurrentRow(), position);
}

void JetRecordset::ReadRecord(std::vector<Value>& values) const {
  if (new_record_) {
    values = *new_record_;
    return;
  }
  const CrackedRow& row = CurrentRow();
  values.resize(table_->columns.size());
  const int count = static_cast<int>(values.size());
  Value* value = values.data();
  for (int i = 0; i < count; ++i) decoder_->DecodeInto(row, i, value[i]);
}

const CrackedRow& JetRecordset::CurrentRow() const {
  RequireCurrent();
  ContinueWalk();
  if (cracked_position_ != position_) {
    cracked_position_ = SIZE_MAX;
    cracked_slot_ = ReadLiveRow(pager_, rows()[position_], &cracked_slot_);
    decoder_->Crack(cracked_slot_.data, cracked_slot_.size, cracked_);
    cracked_position_ = position_;
  }
  return cracked_;
}

// Writing: the new record's values are converted as they are set (so a bad value fails at
// once), kept here, and stored by the database on Update.
void JetRecordset::AddNew() {
  if (!writer_) throw Error(pager_.file_name(), "the database is open read-only", ErrorKind::ReadOnly);
  new_record_ = writer_->NewRecord(*table_);
}

Value& JetRecordset::NewField(int position) {
  if (position < 0 || position >= FieldCount()) FieldName(position);  // throws
  if (!new_record_) {
    if (!writer_) throw Error(pager_.file_name(), "the database is open read-only", ErrorKind::ReadOnly);
    throw Error(pager_.file_name(), "changing existing records is not supported; use AddNew first",
                ErrorKind::Unsupported);
  }
  return (*new_record_)[position];
}

void JetRecordset::SetValue(int position, const Value& value) {
  Value& field = NewField(position);
  field = writer_->ConvertField(*table_, position, value);
}

void JetRecordset::SetTakenValue(int position, Value&& value) {
  Value& field = NewField(position);
  field = writer_->ConvertField(*table_, position, std::move(value));
}

void JetRecordset::SetTextForm(int position, const Value& value, const TextLocale& locale) {
  Value& field = NewField(position);
  field = writer_->ConvertTextForm(*table_, position, value, locale);
}

void JetRecordset::Update() {
  if (!new_record_) throw Error(pager_.file_name(), "Update without AddNew", ErrorKind::Unsupported);
  std::vector<Value> values = std::move(*new_record_);
  new_record_.reset();
  writer_->AddRecord(*table_, std::move(values));
}

}  // namespace engine::jet
