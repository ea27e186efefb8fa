#include "import/run_tally.h"

#include <algorithm>

namespace import {

void RunTally::NotImported(long records, const FailureReason& reason) {
  not_imported_ += records;
  Reason(reason, events_++);
}

void RunTally::Stored(TransferLosses losses) { waiting_.push_back({std::move(losses), events_++}); }

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
    values_not_written_ += article.losses.values;
    if (article.losses.values > 0) Reason(article.losses.first_reason, article.event);
    waiting_.pop_front();
  }
}

void RunTally::TakenBack(long records, const FailureReason& reason) {
  const long n = std::min<long>(records, static_cast<long>(waiting_.size()));
  if (n <= 0) return;
  waiting_.erase(waiting_.begin(), waiting_.begin() + n);
  NotImported(n, reason);
}

}  // namespace import
