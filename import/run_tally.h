// The counts an import run reports, kept so that they say exactly what the destination holds
// after the run's last commit. An article that Update stored is only waiting: it counts as
// added once the destination reports it committed, and as not imported when a failed write
// or commit took it back; the values it was stored without count only if it stays. Each
// count keeps its lines for the report: the records and values behind it.
#pragma once

#include <climits>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "engine/database/database.h"
#include "import/import_report.h"
#include "import/record_transfer.h"

namespace import {

class RunTally {
 public:
  // `start`: the destination's counts before the run stores anything; none when they cannot
  // be read, and then the outcome of the final commit decides (SettleAll).
  explicit RunTally(std::optional<engine::Database::StoredRecords> start) : seen_(start) {}

  // A record read and not imported.
  void NotImported(const SourceRecord& record, const FailureReason& reason);
  // `records` records from `first_row` on that the walk never read, in one line (0 keeps only
  // the reason, for a failure that lost none).
  void NotRead(long first_row, long records, const FailureReason& reason);
  // An article stored by Update, still waiting for a commit, and the values it lacks.
  void Stored(const SourceRecord& record, TransferLosses losses);
  // Follows the destination's counts: `reason` explains the articles taken back.
  void Settle(const std::optional<engine::Database::StoredRecords>& now, const FailureReason& reason);
  // After the final commit: settles what is still waiting when the destination cannot say.
  void SettleAll(bool committed, const FailureReason& reason);

  long added() const { return added_; }
  long not_imported() const { return not_imported_; }
  long values_not_written() const { return values_not_written_; }
  long values_changed() const { return values_changed_; }
  // The reason of the first loss that counts, records or values, in the order they happened
  // (values lost by an article count only once it is committed, but happened when it was
  // stored).
  const FailureReason& first_reason() const { return first_reason_.reason; }
  const SourceRecord& first_reason_record() const { return first_reason_.record; }
  // One line per record not imported, per value not written and per value changed, and one
  // for the records never read: the counts are their sum.
  const std::vector<ReportLine>& lines() const { return lines_; }

 private:
  struct Waiting {
    SourceRecord record;
    TransferLosses losses;
    long event;  // when it was stored
  };
  void Reason(const ReportLine& line, long event) {
    if (event < first_reason_event_) first_reason_ = line, first_reason_event_ = event;
  }
  void Committed(long records);
  void TakenBack(long records, const FailureReason& reason);

  std::optional<engine::Database::StoredRecords> seen_;
  std::deque<Waiting> waiting_;  // stored since the last commit, oldest first
  long events_ = 0;              // losses and stores so far, to order the reasons
  long first_reason_event_ = LONG_MAX;
  long added_ = 0;
  long not_imported_ = 0;
  long values_not_written_ = 0;
  long values_changed_ = 0;  // texts the added articles keep otherwise (not losses)
  ReportLine first_reason_;
  std::vector<ReportLine> lines_;
};

}  // namespace import
