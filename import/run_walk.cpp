#include "import/run_walk.h"

#include <optional>
#include <string>
#include <utility>

#include "archives/handlers.h"
#include "engine/value/value.h"
#include "import/code_lookup.h"
#include "import/record_transfer.h"

namespace import {
namespace {

// The progress bar takes the percentage reached, written only when its whole part changes:
// the window repaints at every write, and a walk can be long.
class ProgressReport {
 public:
  ProgressReport(archives::FormControls& form, ResumeNext& steps) : form_(form), steps_(steps) {}

  void Reached(long index, long count) {
    const auto value = static_cast<float>(static_cast<double>(index) * 100.0 / static_cast<double>(count));
    const long whole = static_cast<long>(value);
    if (whole == shown_whole_) return;
    shown_whole_ = whole;
    steps_.Run([&] { form_.SetProgress(value); });
  }

 private:
  archives::FormControls& form_;
  ResumeNext& steps_;
  long shown_whole_ = 0;  // the run starts the bar at 0
};

// Counts a record that was not imported because of the failure just swallowed.
void CountFailure(RunContext& run, RunState& state, const SourceRecord& record) {
  state.tally->NotImported(record, run.steps.last_reason());
}

// A record the destination refused: a field's rule names the field, and the report shows
// the value the source gave it.
void CountRefusal(RunContext& run, RunState& state, const SourceRecord& record) {
  FailureReason reason = run.steps.last_reason();
  if (!reason.field.empty()) {
    const std::u16string source_text = SourceTextFor(reason.field, run.form, run.source, run.destination);
    if (!source_text.empty()) reason.value = source_text;
  }
  state.tally->NotImported(record, reason);
}

// Stores the source's current record in "Articoli" as a new article.
void AddArticle(RunContext& run, RunState& state, const SourceRecord& record) {
  const bool started = run.steps.Run([&] {
    run.destination.RecordSource = archives::kDestinationTable;
    run.destination.Refresh();
    run.destination.Recordset().AddNew();
  });
  if (!started) return CountFailure(run, state, record);
  TransferLosses losses = TransferRecord(run.form, run.source, run.destination, run.steps);
  // Its values may mix the file's old and new content.
  if (run.steps.file_changed()) return CountFailure(run, state, record);
  if (run.steps.Run([&] { run.destination.Recordset().Update(); })) {
    state.tally->Stored(record, std::move(losses));
  } else {
    if (run.DestinationDamaged()) state.stop = StopReason::DestinationDamaged;
    CountRefusal(run, state, record);
    // A price list that cannot be written now (in use, read-only, the disk full) stops the
    // run: trying each remaining article would only wait and fail again. (A damaged one
    // never fails so.)
    if (run.steps.last_failure_recurs() && state.stop == StopReason::None) {
      state.stop = StopReason::WritesRefused;
      state.stop_failure = run.steps.last_reason();
    }
  }
  // A store, and the commit the engine may make after it, can also take back the articles
  // stored since the last commit.
  state.tally->Settle(run.DestinationCounts(), run.steps.last_reason());
}

// Imports the record the source stands on, which the source numbers `row`.
void ImportCurrentRecord(RunContext& run, RunState& state, long row) {
  SourceRecord record{row, {}};
  const std::optional<std::u16string> code_column = run.steps.Get([&] { return run.form.PickerText(kCodePicker); });
  if (!code_column) return CountFailure(run, state, record);
  const std::optional<engine::Value> code =
      run.steps.Get([&] { return run.source.Recordset().GetValue(*code_column); });
  if (!code) return CountFailure(run, state, record);  // the code cannot be read: such a record is never added
  if (code->is_null()) {
    ++state.without_code;
    return;
  }
  record.code = code->ToText(run.source.locale());
  const std::optional<long> found = ArticlesWithCode(run, record.code);
  if (!found) {
    // A damaged price list ends the walk.
    if (run.DestinationDamaged()) state.stop = StopReason::DestinationDamaged;
    return CountFailure(run, state, record);
  }
  if (*found > 0) {
    ++state.already_present;
    return;
  }
  AddArticle(run, state, record);
}

}  // namespace

void Walk(RunContext& run, RunState& state) {
  state.tally.emplace(run.DestinationCounts());
  std::optional<long> count;
  long first_row = 1;  // the number the source's first record goes by
  run.steps.Run([&] { run.source.Recordset().MoveLast(); });
  run.steps.Run([&] { count = run.source.Recordset().RecordCount(); });
  run.steps.Run([&] { run.source.Recordset().MoveFirst(); });
  run.steps.Run([&] { first_row = run.source.Recordset().FirstRecordRow(); });
  // The records from the walk's `index` on that were never read because of the failure
  // just swallowed.
  const auto count_failure_from = [&](long index, long records) {
    state.tally->NotRead(first_row + index - 1, records, run.steps.last_reason());
  };
  if (!count) {
    // Without the count there is no walk; the records the source said it had stay out.
    count_failure_from(1, state.counted > 0 ? state.counted : 1);
    return;
  }
  ProgressReport progress(run.form, run.steps);
  for (long index = 1; index <= *count; ++index) {
    progress.Reached(index, *count);
    ImportCurrentRecord(run, state, first_row + index - 1);
    if (state.stop != StopReason::None) {
      // The engine undid what had not been saved, or every later article would meet the
      // same failure: going on would only meet it again.
      count_failure_from(index + 1, *count - index);
      return;
    }
    if (run.steps.file_changed()) {
      // Another program changed a file under the run: nothing more can be read from it.
      count_failure_from(index + 1, *count - index);
      return;
    }
    if (run.steps.Run([&] { run.source.Recordset().MoveNext(); })) continue;
    if (index < *count) {
      // Going on would take the same record again for every remaining pass.
      count_failure_from(index + 1, *count - index);
      return;
    }
    // Past the last record: the table's pages held fewer (or more) records than it counts.
    count_failure_from(index + 1, run.steps.Get([&] { return run.source.Recordset().UnreadRecords(); }).value_or(0));
  }
}

void CommitDestination(RunContext& run, RunState& state) {
  const bool committed = run.steps.Run([&] { run.destination.Database().Commit(); });
  if (!committed) state.commit_failure = run.steps.last_reason();
  state.tally->Settle(run.DestinationCounts(), run.steps.last_reason());
  state.tally->SettleAll(committed, run.steps.last_reason());
}

}  // namespace import
