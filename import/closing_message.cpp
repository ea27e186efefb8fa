#include "import/closing_message.h"

#include <string>

#include "engine/text/utf.h"
#include "import/italian_texts.h"

namespace import {
namespace {

std::u16string Number(long n) { return engine::FromUtf8(std::to_string(n)); }

// A run the checks or the purge stopped before its walk.
std::u16string StoppedBeforeWalk(const RunState& state) {
  switch (state.stop) {
    case StopReason::NoArchiveChosen:
      return std::u16string(kNoArchiveChosen);
    case StopReason::NoTableChosen:
      return std::u16string(kNoTableChosen);
    case StopReason::NoCodeColumnChosen:
      return std::u16string(kNoCodeColumnChosen);
    case StopReason::SourceEmpty:
      return std::u16string(kSourceIsEmpty);
    case StopReason::SourceUnreadable:
      return std::u16string(kImportNotDoneBecause) + (state.unread > 0 ? RecordsNotReadText(state.unread) : u"") +
             state.stop_failure.in_italian;
    case StopReason::PriceListInUse:
      return std::u16string(kPriceListInUseNothingDeleted);
    case StopReason::PurgeFailed:
      return std::u16string(kPurgeFailed) + state.stop_failure.in_italian;
    case StopReason::None:
    case StopReason::DestinationDamaged:
    case StopReason::WritesRefused:
      break;  // never before the walk, or not told here
  }
  return std::u16string(kImportNotDone);
}

// Records lost make it an error, values lost alone a warning; the first reason follows.
std::u16string CountsMessage(const ImportResult& result) {
  std::u16string message;
  if (result.failed == 0 && result.values_not_written > 0) {
    message = std::u16string(kImportDoneWithWarningsStart) + Number(result.values_not_written) +
              std::u16string(kValuesNotWrittenEnd);
  } else if (result.values_not_written == 0) {
    message =
        std::u16string(kImportDoneWithErrorsStart) + Number(result.failed) + std::u16string(kImportDoneWithErrorsEnd);
  } else {
    message = std::u16string(kImportDoneWithErrorsStart) + Number(result.failed) +
              std::u16string(kRecordsNotImportedAnd) + Number(result.values_not_written) +
              std::u16string(kValuesNotWrittenEnd);
  }
  if (!result.first_failure_in_italian.empty()) message += u" " + result.first_failure_in_italian;
  return message;
}

// Where the report is, after the counts.
std::u16string ReportDetail(const ImportResult& result) {
  if (result.report.empty()) return u"";
  return u" " + ReportDetailText(engine::FromUtf8(result.report.string()));
}

// A run that walked the source (and did not find the price list damaged).
std::u16string AfterWalk(const RunState& state, bool table_choice_empty) {
  const ImportResult result = ResultOf(state);
  std::u16string message;
  if (table_choice_empty) {
    message = kImportNotDone;
  } else if (state.PurgeUndone()) {
    message = std::u16string(kPurgeUndone) + state.commit_failure->in_italian;
  } else if (state.stop == StopReason::WritesRefused) {
    message = std::u16string(kImportStoppedStart) + Number(result.added) + std::u16string(kImportStoppedEnd) +
              state.stop_failure.in_italian + ReportDetail(result);
  } else if (result.failed == 0 && result.values_not_written == 0 && result.first_failure.empty()) {
    message = kImportDone;
  } else {
    message = CountsMessage(result) + ReportDetail(result);
  }
  if (!result.report_failure.empty()) message += u" " + result.report_failure;
  return message;
}

}  // namespace

void ShowClosingMessage(RunContext& run, const RunState& state) {
  std::u16string message;
  if (state.stop == StopReason::DestinationDamaged) {
    message = run.DamagedDestinationText(ResultOf(state).added);
  } else if (!state.Walked()) {
    message = StoppedBeforeWalk(state);
  } else {
    message = AfterWalk(state, run.steps.Holds([&] { return run.form.Combo2Text().empty(); }));
  }
  run.Show(message, archives::MessageStyle::OkOnly);
}

}  // namespace import
