// The import run, step by step. Each step works on the run's state (run_state.h), the one
// record of what the run read, wrote, kept and why it stopped; the result the caller gets,
// the report and the closing message are all derived from it.
#include "import/import_run.h"

#include "import/closing_message.h"
#include "import/import_report.h"
#include "import/italian_texts.h"
#include "import/run_checks.h"
#include "import/run_context.h"
#include "import/run_purge.h"
#include "import/run_report.h"
#include "import/run_state.h"
#include "import/run_walk.h"

namespace import {
namespace {

// True while a run is under way. The window has one user-interface thread, and a run yields
// to it only while it processes pending events; a press handled then must not start a
// second run inside the first.
bool run_under_way = false;

class RunUnderWay {
 public:
  RunUnderWay() { run_under_way = true; }
  ~RunUnderWay() { run_under_way = false; }
  RunUnderWay(const RunUnderWay&) = delete;
  RunUnderWay& operator=(const RunUnderWay&) = delete;
};

ImportResult Run(RunContext& run, std::u16string_view button_key) {
  RunState state;
  state.start = LocalTimeNow();
  run.steps.Run([&] { run.form.SetProgress(0); });
  run.steps.Run([&] { run.dialogs.ProcessEvents(); });
  if (button_key == kCloseKey) run.dialogs.EndProgram();

  {
    // From here to the closing message the run reads and writes the archives, which may
    // mean waiting for another program to let go of one, and walks the source: the window
    // shows it is busy.
    archives::BusyWindow busy(run.dialogs);
    if (ChoicesAreComplete(run, state) && OfferPurge(run, state)) {
      Walk(run, state);
      CommitDestination(run, state);
      WriteRunReport(run, state);
    }
  }
  ShowClosingMessage(run, state);
  return ResultOf(state);
}

}  // namespace

ImportResult RunImport(std::u16string_view button_key, archives::WindowState& state, archives::FormControls& form,
                       archives::Dialogs& dialogs, const ReportPlace& report) {
  if (run_under_way) return {};
  RunUnderWay guard;
  RunContext run(state, form, dialogs, report);
  ImportResult result = Run(run, button_key);
  // A run that ended before the source's last record lets go of the source, which other
  // programs may then write, until the next run reads it again.
  ResumeNext().Run([&] { state.DataSorgente.Recordset().EndWalk(); });
  return result;
}

}  // namespace import
