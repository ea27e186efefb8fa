// The message that ends an import run, composed from what the run's state says.
#pragma once

#include "import/run_context.h"
#include "import/run_state.h"

namespace import {

// Shows the run's closing message: why the checks or the purge stopped it, that the price
// list is damaged (reading where it is), or, for a walk, what the run did (reading the
// table choice again first, as the window always has: an empty one says the import was not
// done).
void ShowClosingMessage(RunContext& run, const RunState& state);

}  // namespace import
