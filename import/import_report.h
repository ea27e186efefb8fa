// The report of an import run: what it read and wrote, its counts, and one line for each
// source record it did not import and each value an added article was stored without, so
// that a clerk finds them in the source. Written as a CSV file that a spreadsheet opens in
// Italian with a double click.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "import/resume_next.h"

namespace import {

// A record of the source: where the clerk finds it (its position in a table, the row
// number in a sheet) and its article code as read (empty when it could not be read).
struct SourceRecord {
  long row = 0;
  std::u16string code;
};

// A line of the detail: a record not imported, a value an added article lacks or keeps
// changed, or the records a stopped walk never read (`unread` of them from `record.row` on,
// one line for all: nothing is known of each but its place).
struct ReportLine {
  SourceRecord record;
  bool not_imported = false;
  FailureReason reason;  // the field, the value and the Italian reason
  long unread = 0;
  bool value_changed = false;
};

struct ImportReport {
  std::u16string source_archive, table;
  std::u16string price_list;         // the file written, symbolic links followed
  std::u16string price_list_opened;  // the name the program opened it by
  std::tm start{}, end{};  // local time
  bool purged = false;
  bool purge_undone = false;  // by the failure of the final commit
  std::optional<long> deleted;  // by the purge and still deleted after the run; told when known
  // What the price list's relationships made of the purge (see engine::StatementResult).
  long purge_kept = 0;
  std::u16string purge_kept_for, purge_cascaded;  // the tables, and the rows each lost
  std::vector<std::pair<std::u16string_view, std::u16string>> mapping;  // picker caption, source column
  long added = 0, already_present = 0, without_code = 0, not_imported = 0, values_not_written = 0, values_changed = 0;
  std::vector<ReportLine> lines;  // in any order; written in source order
};

// A reason as a message tells it: with the field and the value after it when its own words
// name neither (a table's validation text). In Italian for the window, in the engine's
// words for `archivi`.
std::u16string ItalianWithPlace(const FailureReason& reason);
std::string TextWithPlace(const FailureReason& reason);

// The local time now.
std::tm LocalTimeNow();

// The report in UTF-8 with a byte-order mark, ';' between fields, RFC 4180 quoting and CR LF
// line ends: what Calc and Excel open in Italian, with accents, without asking.
std::string ReportCsv(const ImportReport& report);

}  // namespace import
