// The record-set interface every archive kind offers (Jet databases, Excel workbooks): the
// operations the bindings use, in DAO's terms. Every operation throws engine::Error on failure.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/database/open_mode.h"
#include "engine/text/text_locale.h"
#include "engine/value/value.h"

namespace engine {

// An ordered, positioned set of records.
class Recordset {
 public:
  virtual ~Recordset() = default;

  // 0 exactly when a freshly opened set is empty; the number of records after MoveLast.
  virtual long RecordCount() const = 0;
  virtual bool Eof() const = 0;  // past the last record (or the set is empty)
  virtual void MoveFirst() = 0;
  virtual void MoveLast() = 0;
  // Moving past the last record of a table whose pages hold fewer or more rows than its
  // definition counts (damaged pages) throws, once the set stands past the end; a table
  // whose pages hold none of the rows it counts throws at the first look at the set.
  virtual void MoveNext() = 0;
  // Ends a walk that stops before the last record: the set lets go of the file (other
  // programs may then write it) and lists its records again, as the file then is, when next
  // moved, counted or read. A set that reads its archive whole does nothing.
  virtual void EndWalk() {}
  // Records the table's definition counts that its pages did not give (damaged pages); 0 when
  // they agree or when the archive keeps no such count.
  virtual long UnreadRecords() const { return 0; }
  // The number the first record goes by where a clerk finds it in the archive's own program,
  // the next ones following on: 1 in a table; in a worksheet the sheet's row number, counted
  // from 1 with the header row before the records.
  virtual long FirstRecordRow() const { return 1; }

  // Fields in column order; names are found without regard to letter case.
  virtual int FieldCount() const = 0;
  virtual std::u16string FieldName(int position) const = 0;
  // Position of the named field; throws when there is none.
  virtual int FieldPosition(std::u16string_view name) const = 0;
  // The current record's value (or the new record's, between AddNew and Update).
  virtual Value GetValue(int position) const = 0;
  // Every value of the current record, in field order, into `values` (sized to FieldCount()):
  // what GetValue gives field by field. A caller that passes the same vector for each record
  // lets the set reuse the texts' storage.
  virtual void ReadRecord(std::vector<Value>& values) const;

  // Writing: AddNew starts an empty new record, SetValue converts and sets one of its fields
  // (a text is converted to the column's type with the locale), Update stores it.
  // Read-only sets throw.
  virtual void AddNew();
  virtual void SetValue(int position, const Value& value);
  virtual void Update();

  // SetValue with a value the caller gives up: a text that the field takes as it is goes into
  // the new record without a copy. A call that throws leaves the value as it was given.
  void SetValue(int position, Value&& value) { SetTakenValue(position, std::move(value)); }

  // Sets a field to what the text form of `value` in `locale` converts to: the same as
  // SetValue(position, Value::Text(value.ToText(locale))), refusals included, but a number that
  // the engine converts exactly is not written out and read back.
  virtual void SetTextForm(int position, const Value& value, const TextLocale& locale);

  Value GetValue(std::u16string_view name) const { return GetValue(FieldPosition(name)); }
  void SetValue(std::u16string_view name, const Value& value) { SetValue(FieldPosition(name), value); }
  void SetValue(std::u16string_view name, Value&& value) { SetValue(FieldPosition(name), std::move(value)); }

 protected:
  // What SetValue(position, Value&&) does; by default the same as with a value to copy.
  virtual void SetTakenValue(int position, Value&& value) { SetValue(position, static_cast<const Value&>(value)); }
};

// A record source with one literal left open, for asking it again and again with another
// literal: `before` + literal + `after`, the literal as it stands between the statement's
// apostrophes (each apostrophe of the text doubled).
class PreparedLookup {
 public:
  virtual ~PreparedLookup() = default;
  // What RecordCount gives on a record set freshly opened on the source with `literal`; throws
  // what opening or counting it throws.
  virtual long RecordCount(std::u16string_view literal) = 0;
};

// What a data statement did (Execute). For "DELETE * From T": the rows of T deleted, the
// rows kept because rows of other tables name them (relationships the archive keeps), and
// the rows other tables lost with them (relationships that cascade deletes).
struct StatementResult {
  long deleted = 0;
  long kept = 0;
  std::vector<std::u16string> kept_for;  // the tables whose rows name the kept ones
  struct Cascade {
    std::u16string table;
    long rows = 0;
  };
  std::vector<Cascade> cascaded;
};

struct TableInfo {
  std::u16string name;
  bool is_system = false;  // a table of the engine's own (Jet's MSys* tables)
};

// An open archive.
class Database {
 public:
  virtual ~Database() = default;

  // The table definitions in the engine's order, system tables included.
  virtual std::vector<TableInfo> TableDefs() const = 0;

  // Opens a record set on a table name or on one of the statements the program sends
  // ("Select * From T;", "Select * From T where [C]='literal';").
  virtual std::unique_ptr<Recordset> OpenRecordset(std::u16string_view source) = 0;

  // The record source `before` + literal + `after` ("Select * From T where [C]='" and "';"),
  // asked for many literals. It must not outlive the database. By default each literal opens
  // the whole source; an engine may parse and plan the statement once instead.
  virtual std::unique_ptr<PreparedLookup> PrepareLookup(std::u16string_view before, std::u16string_view after);

  // Runs a data statement ("DELETE * From T;"). Read-only archives throw.
  virtual StatementResult Execute(std::u16string_view statement);

  // Makes everything written so far durable (group commit). No-op for read-only archives.
  virtual void Commit() {}

  // Until the next Commit, everything written is one change: should the program stop
  // before that Commit ends, the archive is as it was before this call. Commits what was
  // written before. Read-only archives throw.
  virtual void BeginTransaction();

  // Ends the work with the archive before it goes away: commits what Update and Execute
  // stored (each is durable to its caller), but undoes a change begun with BeginTransaction
  // that was not committed, as it was to be all or nothing. Throws when the commit fails;
  // the archive is then as it was at the last commit. No-op for read-only archives.
  virtual void Close() { Commit(); }

  // A journal of some other file found beside this one on open: it was not applied but
  // renamed to this path. Empty when there was none.
  virtual std::filesystem::path SetAsideJournal() const { return {}; }

  // What became of the records Update stored, counted since the archive was opened. A commit
  // (asked for, or one the engine makes on its own) makes every record stored since the last
  // one durable; a write or commit that fails takes all of them back. A caller that reports
  // what reached the disk follows these counts instead of guessing.
  struct StoredRecords {
    long committed = 0;
    long taken_back = 0;
  };
  virtual StoredRecords stored_records() const = 0;

  virtual const std::filesystem::path& path() const = 0;
};

}  // namespace engine
