#include "import/run_purge.h"

#include <filesystem>
#include <system_error>

#include "import/destination_queries.h"
#include "import/italian_texts.h"

namespace import {
namespace {

// The same file however its path is written (links, "..", another spelling), by device
// and inode; letter case counts as the file system says.
bool SourceIsDestination(RunContext& run) {
  return run.steps
      .Get([&] {
        std::error_code error;
        return std::filesystem::equivalent(run.source.Database().path(), run.destination.Database().path(), error);
      })
      .value_or(false);
}

// Offered when "Articoli" holds articles, and when the binding cannot say.
bool PurgeWanted(RunContext& run) {
  int answer = 0;
  if (run.steps.Holds([&] { return run.destination.Recordset().RecordCount() > 0; })) {
    run.steps.Run([&] { answer = run.dialogs.MessageBox(kPurgeQuestion, archives::MessageStyle::YesNo); });
  }
  return answer == archives::kAnswerYes;
}

}  // namespace

bool OfferPurge(RunContext& run, RunState& state) {
  run.steps.Run([&] {
    run.destination.RecordSource = kPurgeProbe;
    run.destination.Refresh();
  });
  // Emptying the price list that is also the source would leave nothing to import.
  if (SourceIsDestination(run)) return true;
  if (!PurgeWanted(run)) return true;
  // The purge and the import after it are one change, committed at the end of the run: a
  // crash in between leaves the price list as it was before the click. Beginning it waits
  // for other programs' reads of the price list to end, so that the user is not told of a
  // deletion that the final commit could not bring to the file.
  if (!run.steps.Run([&] { run.destination.Database().BeginTransaction(); })) {
    state.stop = run.steps.last_failure_in_use() ? StopReason::PriceListInUse : StopReason::PurgeFailed;
    state.stop_failure = run.steps.last_reason();
    return false;
  }
  // The statement's result says how many articles it deleted, which need not be all (rows of
  // other tables may keep some), and what went with them.
  if (!run.steps.Run([&] { state.purge_result = run.destination.Database().Execute(kPurgeStatement); })) {
    state.stop = run.DestinationDamaged() ? StopReason::DestinationDamaged : StopReason::PurgeFailed;
    state.stop_failure = run.steps.last_reason();
    run.steps.Run([&] { run.destination.Database().Commit(); });  // ends the change the failure undid
    return false;
  }
  state.purged = true;
  run.Show(PurgeDoneText(state.purge_result), archives::MessageStyle::Information);
  return true;
}

}  // namespace import
