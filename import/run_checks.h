// The checks an import run makes before it touches the price list: an archive, a table and a
// code column chosen, and a source that holds records.
#pragma once

#include "import/run_context.h"
#include "import/run_state.h"

namespace import {

// True when every check holds; otherwise `state.stop` says which one failed. A check that
// cannot be made counts as held, as every test of the run does. Counting the source's
// records reads it: a source that passes is let go of again, while the user answers the
// purge question.
bool ChoicesAreComplete(RunContext& run, RunState& state);

}  // namespace import
