// Jet record sets: see jet_recordset.h.
#include "engine/jet/jet_recordset.h"

#include "engine/error.h"
#include "engine/jet/data_page.h"
#include "engine/jet/name_compare.h"

namespace engine::jet {

JetRecordset::JetRecordset(Pager& pager, std::shared_ptr<const TableDefinition> table, const TextDecoder& text,
                           std::vector<RowId> rows)
    : pager_(pager), table_(std::move(table)), decoder_(pager, *table_, text), rows_(std::move(rows)) {}

void JetRecordset::RequireCurrent() const {
  if (Eof()) throw Error(pager_.file_name(), "no current record in table \"" + ToUtf8(table_->name) + "\"");
}

void JetRecordset::MoveFirst() {
  position_ = 0;
  RequireCurrent();
}

void JetRecordset::MoveLast() {
  position_ = rows_.empty() ? 0 : rows_.size() - 1;
  RequireCurrent();
}

void JetRecordset::MoveNext() {
  RequireCurrent();
  ++position_;
}

std::u16string JetRecordset::FieldName(int position) const {
  if (position < 0 || position >= FieldCount()) {
    throw Error(pager_.file_name(), "table \"" + ToUtf8(table_->name) + "\" has no field number " +
                                        std::to_string(position));
  }
  return table_->columns[position].name;
}

int JetRecordset::FieldPosition(std::u16string_view name) const {
  for (size_t i = 0; i < table_->columns.size(); ++i) {
    if (SameName(table_->columns[i].name, name)) return static_cast<int>(i);
  }
  throw Error(pager_.file_name(), "table \"" + ToUtf8(table_->name) + "\" has no field \"" + ToUtf8(name) + "\"");
}

Value JetRecordset::GetValue(int position) const {
  RequireCurrent();
  if (position < 0 || position >= FieldCount()) FieldName(position);  // throws
  if (cracked_position_ != position_) {
    cracked_position_ = SIZE_MAX;
    RowSlot slot = ReadLiveRow(pager_, rows_[position_]);
    decoder_.Crack(slot.data, slot.size, cracked_);
    cracked_position_ = position_;
  }
  return decoder_.Decode(cracked_, position);
}

}  // namespace engine::jet
