// What an import run works with: the window's two bindings, its controls and dialogs, where
// the report goes, and the failure regime every step of the run goes through. Each part of
// the run (run_checks, run_purge, run_walk, run_report, closing_message) takes it with the
// run's state (run_state.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "archives/data_binding.h"
#include "archives/window_interface.h"
#include "engine/database/database.h"
#include "import/report_file.h"
#include "import/resume_next.h"

namespace import {

struct RunContext {
  RunContext(archives::WindowState& state, archives::FormControls& form_controls, archives::Dialogs& run_dialogs,
             const ReportPlace& place)
      : source(state.DataSorgente),
        destination(state.DataDestinazione),
        form(form_controls),
        dialogs(run_dialogs),
        report_place(place) {}
  RunContext(const RunContext&) = delete;
  RunContext& operator=(const RunContext&) = delete;

  // A message box, as a step of the run.
  void Show(std::u16string_view text, archives::MessageStyle style);

  // The destination's counts of stored records; nothing when they cannot be read.
  std::optional<engine::Database::StoredRecords> DestinationCounts();

  // True when the last failure was the engine finding the price list damaged. The engine has
  // then undone everything not yet saved.
  bool DestinationDamaged();

  // What the window says of the damaged price list, which keeps the `saved` articles.
  std::u16string DamagedDestinationText(long saved);

  archives::DataBinding& source;
  archives::DataBinding& destination;
  archives::FormControls& form;
  archives::Dialogs& dialogs;
  const ReportPlace report_place;
  ResumeNext steps;
};

}  // namespace import
