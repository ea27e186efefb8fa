#include "import/run_checks.h"

#include "import/record_transfer.h"

namespace import {

bool ChoicesAreComplete(RunContext& run, RunState& state) {
  if (run.steps.Holds([&] { return run.form.Text1().empty(); })) {
    state.stop = StopReason::NoArchiveChosen;
    return false;
  }
  if (!run.steps.Holds([&] { return !run.form.Combo2Text().empty(); })) {
    state.stop = StopReason::NoTableChosen;
    return false;
  }
  if (run.steps.Holds([&] { return run.form.PickerText(kCodePicker).empty(); })) {
    state.stop = StopReason::NoCodeColumnChosen;
    return false;
  }
  if (run.steps.Holds([&] { return (state.counted = run.source.Recordset().RecordCount()) == 0; })) {
    state.unread = run.steps.Get([&] { return run.source.Recordset().UnreadRecords(); }).value_or(0);
    if (run.steps.file_changed() || state.unread > 0) {
      // Not an empty source: one that another program is changing, or whose pages hold
      // none of the records its table counts.
      state.stop = StopReason::SourceUnreadable;
      state.stop_failure = run.steps.last_reason();
    } else {
      state.stop = StopReason::SourceEmpty;
    }
    return false;
  }
  run.steps.Run([&] { run.source.Recordset().EndWalk(); });
  return true;
}

}  // namespace import
