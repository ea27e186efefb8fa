// A record set over a Jet table: the list of its rows' ids, and the current row decoded on
// demand (each field only when asked for). A set over a whole table lists its rows only when
// first moved, counted or read, so that opening a table just to add a record costs nothing.
//
// A walk over the rows, from their listing until the set is past its last row, is one read
// of the file (pager.h): writers elsewhere wait for it to end. A set whose rows are not
// listed yet reads nothing and holds nothing; EndWalk puts a set back in that state, so that
// it lists the rows again, as the file then is. A walk that goes on after another program
// changed the file fails with an error of kind FileChanged.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "engine/database/database.h"
#include "engine/jet/storage/pager.h"
#include "engine/jet/page/data_page.h"
#include "engine/jet/table/record_writer.h"
#include "engine/jet/row/row_decoder.h"
#include "engine/jet/format/table_definition.h"

namespace engine::jet {

class JetRecordset final : public Recordset {
 public:
  // A whole table's rows, with the row count its definition holds when the table is held to
  // it (user tables: Access does not keep the counts of its own system tables exact).
  struct ListedRows {
    std::shared_ptr<const TableDefinition> table;  // as the file defines it when listed
    std::vector<RowId> rows;
    std::optional<uint32_t> counted;
  };
  using RowLister = std::function<ListedRows()>;

  // `writer` is null for read-only databases.
  JetRecordset(Pager& pager, std::shared_ptr<const TableDefinition> table, const TextDecoder& text,
               std::vector<RowId> rows, RecordWriter* writer = nullptr);
  // The rows come from `list_rows`, called once, when they are first needed.
  JetRecordset(Pager& pager, std::shared_ptr<const TableDefinition> table, const TextDecoder& text,
               RowLister list_rows, RecordWriter* writer = nullptr);

  long RecordCount() const override { return static_cast<long>(rows().size()); }
  bool Eof() const override { return position_ >= rows().size(); }
  void MoveFirst() override;
  void MoveLast() override;
  void MoveNext() override;
  long UnreadRecords() const override;
  int FieldCount() const override { return static_cast<int>(table_->columns.size()); }
  std::u16string FieldName(int position) const override;
  int FieldPosition(std::u16string_view name) const override;
  Value GetValue(int position) const override;
  using Recordset::GetValue;
  void ReadRecord(std::vector<Value>& values) const override;
  void AddNew() override;
  void SetValue(int position, const Value& value) override;
  using Recordset::SetValue;
  void SetTextForm(int position, const Value& value, const TextLocale& locale) override;
  void Update() override;
  void EndWalk() override;

  const std::vector<RowId>& rows() const {
    if (rows_ && !rows_->empty()) return *rows_;  // asked for at every move and read
    return ListRows();
  }

 private:
  void SetTakenValue(int position, Value&& value) override;
  // The new record's field at `position`, once it is known to be there to set.
  Value& NewField(int position);
  // Lists the rows when they are not listed yet; throws when a table that counts rows lists none.
  const std::vector<RowId>& ListRows() const;
  void RequireCurrent() const;
  // The current row's frame, read once per row.
  const CrackedRow& CurrentRow() const;
  // Before rows are read: the walk's read is held, and the file is as it was when listed.
  void ContinueWalk() const;
  void EndWalkIfPastEnd() const;
  // The walk met fewer (or more) rows than the table's definition counts: damaged pages.
  [[noreturn]] void ThrowRowsNotAccountedFor() const;

  Pager& pager_;
  const TextDecoder& text_;
  mutable std::shared_ptr<const TableDefinition> table_;
  mutable std::optional<RowDecoder> decoder_;
  mutable std::optional<ReadHold> walk_;
  mutable uint64_t generation_ = 0;  // the pager's when the rows were listed
  mutable std::optional<std::vector<RowId>> rows_;
  RowLister list_rows_;
  mutable std::optional<uint32_t> counted_rows_;  // see ListedRows
  size_t position_ = 0;
  // The current row's frame points into its page, which the slot's handle keeps in memory
  // (and readable, if stale, after a rollback drops the page).
  mutable RowSlot cracked_slot_;
  mutable CrackedRow cracked_;
  mutable size_t cracked_position_ = SIZE_MAX;  // the row `cracked_` holds
  RecordWriter* writer_ = nullptr;
  std::optional<std::vector<Value>> new_record_;  // between AddNew and Update
};

}  // namespace engine::jet
