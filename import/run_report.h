// The report of a run that walked the source (import_report.h), written where the run's
// report place says.
#pragma once

#include "import/run_context.h"
#include "import/run_state.h"

namespace import {

// Writes the report and records in `state` the file written, or why none could be. The
// report never changes the run: one that cannot be written is only told.
void WriteRunReport(RunContext& run, RunState& state);

}  // namespace import
