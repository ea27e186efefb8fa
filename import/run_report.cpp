#include "import/run_report.h"

#include <exception>
#include <filesystem>
#include <string>

#include "archives/error_messages.h"
#include "engine/text/utf.h"
#include "import/import_report.h"
#include "import/italian_texts.h"
#include "import/report_file.h"

namespace import {
namespace {

// The report of the run ending now: the choices as the window shows them, and what `state`
// says the run did.
ImportReport ReportOf(RunContext& run, const RunState& state, const std::filesystem::path& price_list) {
  ImportReport report;
  report.start = state.start;
  report.end = LocalTimeNow();
  report.source_archive = run.steps.Get([&] { return run.form.Text1(); }).value_or(u"");
  report.table = run.steps.Get([&] { return run.form.Combo2Text(); }).value_or(u"");
  report.price_list = engine::FromUtf8(RealPriceList(price_list).string());
  report.price_list_opened = engine::FromUtf8(price_list.string());
  report.purged = state.purged;
  report.purge_undone = state.PurgeUndone();
  // The report's counts say what the price list holds after the run: an undone purge deleted none.
  if (state.purged) report.deleted = state.PurgeUndone() ? 0 : state.purge_result.deleted;
  // An undone purge kept and took nothing.
  if (!state.PurgeUndone()) {
    report.purge_kept = state.purge_result.kept;
    report.purge_kept_for = TablesText(state.purge_result.kept_for);
    report.purge_cascaded = CascadedText(state.purge_result);
  }
  for (int picker = 0; picker < archives::kPickerCount; ++picker) {
    const std::u16string column = run.steps.Get([&] { return run.form.PickerText(picker); }).value_or(u"");
    if (!column.empty()) report.mapping.emplace_back(kPickerCaptions[static_cast<size_t>(picker)], column);
  }
  const ImportResult counts = ResultOf(state);
  report.added = counts.added;
  report.already_present = counts.already_present;
  report.without_code = counts.without_code;
  report.not_imported = counts.failed;
  report.values_not_written = counts.values_not_written;
  report.values_changed = counts.values_changed;
  if (state.tally) report.lines = state.tally->lines();
  return report;
}

}  // namespace

void WriteRunReport(RunContext& run, RunState& state) {
  if (run.report_place.kind == ReportPlace::Kind::None) return;
  const std::filesystem::path price_list =
      run.steps.Get([&] { return run.destination.Database().path(); }).value_or(std::filesystem::path());
  try {
    state.report = WriteReportAt(run.report_place, price_list, state.start, ReportCsv(ReportOf(run, state, price_list)));
  } catch (const std::exception& failure) {
    const std::filesystem::path place = IntendedReportPlace(run.report_place, price_list);
    state.report_failure = ReportNotWrittenText(engine::FromUtf8(place.string()), archives::ItalianReason(failure));
  }
}

}  // namespace import
