// The walk of an import run over the source's records, each added to "Articoli" as a new
// article unless its code is Null or the price list already holds it; and the final commit
// that keeps what the walk stored.
#pragma once

#include "import/run_context.h"
#include "import/run_state.h"

namespace import {

// Walks the source from its first record, counting into `state` what each record became. A
// damaged price list, or one that refuses every write, stops the walk (`state.stop`), as do
// a file changed under the run and a source that cannot move on: the records left count as
// not imported.
void Walk(RunContext& run, RunState& state);

// Commits the run's change, so that what the closing message reports is on disk, and
// settles the counts with what the price list kept.
void CommitDestination(RunContext& run, RunState& state);

}  // namespace import
