// The purge an import run offers before its walk: emptying "Articoli" of the articles it
// holds, in the change the run's final commit ends.
#pragma once

#include "import/run_context.h"
#include "import/run_state.h"

namespace import {

// Asks whether to empty "Articoli" when it holds articles, and empties it on a yes (telling
// the user it did); false when the emptying failed, with `state.stop` saying why.
bool OfferPurge(RunContext& run, RunState& state);

}  // namespace import
