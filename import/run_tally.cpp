#include "import/run_tally.h"

#include <algorithm>

namespace import {

void RunTally::NotImported(const SourceRecord& record, const FailureReason& reason) {
  ++not_imported_;
  Reason({record, true, reason}, events_++);
  lines_.push_back({record, true, reason});
}

void RunTally::NotRead(long first_row, long records, const FailureReason& reason) {
  const ReportLine line{{first_row, {}}, true, reason, records};
  Reason(line, events_++);
  if (records <= 0) return;
  not_imported_ += records;
  lines_.push_back(line);
}

void RunTally::Stored(const SourceRecord& record, TransferLosses losses) {
  waiting_.push_back({record, std::move(losses), events_++});
}

void RunTally::Settle(const std::optional<engine::Database::StoredRecords>& now, const FailureReason& reason) {
  if (!seen_ || !now) return;
  // The engine commits or takes back everything waiting at once, and never takes back what
  // it committed: a commit seen here came first.
  Committed(now->committed - seen_->committed);
  TakenBack(now->taken_back - seen_->taken_back, reason);
  seen_ = now;
}

void RunTally::SettleAll(bool committed, const FailureReason& reason) {
  if (committed) {
    Committed(static_cast<long>(waiting_.size()));
  } else {
    TakenBack(static_cast<long>(waiting_.size()), reason);
  }
}

void RunTally::Committed(long records) {
  for (long n = std::min<long>(records, static_cast<long>(waiting_.size())); n > 0; --n) {
    const Waiting& article = waiting_.front();
    ++added_;
    values_not_written_ += static_cast<long>(article.losses.values.size());
    for (const FailureReason& value : article.losses.values) lines_.push_back({article.record, false, value});
    values_changed_ += static_cast<long>(article.losses.changed.size());
    for (const FailureReason& value : article.losses.changed) lines_.push_back({article.record, false, value, 0, true});
    if (!article.losses.values.empty()) Reason({article.record, false, article.losses.values.front()}, article.event);
    waiting_.pop_front();
  }
}

void RunTally::TakenBack(long records, const FailureReason& reason) {
  const long n = std::min<long>(records, static_cast<long>(waiting_.size()));
  if (n <= 0) return;
  // Articles stored one by one and taken back together: each is a record not imported.
  Reason({waiting_.front().record, true, reason}, events_++);
  not_imported_ += n;
  for (long i = 0; i < n; ++i) lines_.push_back({waiting_[static_cast<size_t>(i)].record, true, reason});
  waiting_.erase(waiting_.begin(), waiting_.begin() + n);
}

}  // namespace import
