#include "import/run_state.h"

#include "import/import_report.h"

namespace import {

ImportResult ResultOf(const RunState& run) {
  ImportResult result;
  result.walked = run.Walked();
  result.already_present = run.already_present;
  result.without_code = run.without_code;
  if (run.stop == StopReason::SourceUnreadable) {
    result.failed = run.unread;
    result.first_failure = run.stop_failure.text;
    result.first_failure_in_italian = run.stop_failure.in_italian;
  }
  if (run.tally) {
    result.added = run.tally->added();
    result.failed = run.tally->not_imported();
    result.values_not_written = run.tally->values_not_written();
    result.values_changed = run.tally->values_changed();
    result.first_failure = TextWithPlace(run.tally->first_reason());
    result.first_failure_in_italian = ItalianWithPlace(run.tally->first_reason());
    result.first_failure_row = run.tally->first_reason_record().row;
    result.first_failure_code = run.tally->first_reason_record().code;
  }
  result.report = run.report;
  result.report_failure = run.report_failure;
  return result;
}

}  // namespace import
