// The state of one import run: what it read, what it wrote and kept, whether it stopped and
// why. It is the one place each of these is kept; the counts, the report, the run's
// ImportResult and its closing message are derived from it.
#pragma once

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

#include "engine/database/database.h"
#include "import/import_run.h"
#include "import/resume_next.h"
#include "import/run_tally.h"

namespace import {

// Why a run stopped before the end of its walk, when it did in a way its closing message
// tells.
enum class StopReason {
  None,
  // The checks of the choices.
  NoArchiveChosen,
  NoTableChosen,
  NoCodeColumnChosen,
  SourceEmpty,
  SourceUnreadable,  // another program is changing the source, or its pages hold none of the
                     // records its table counts
  // The purge.
  PriceListInUse,  // its change could not begin: another program holds the price list
  PurgeFailed,
  // The purge or the walk: the engine found the price list damaged and undid what was not saved.
  DestinationDamaged,
  // The walk: the price list refused a write that every later one would meet (in use,
  // read-only, the disk full).
  WritesRefused,
};

struct RunState {
  std::tm start{};  // local time

  // What the source gave.
  long counted = 0;          // the records it counted when the choices were checked
  long unread = 0;           // the records it counted and could not give (SourceUnreadable)
  long already_present = 0;  // records whose code the price list already held
  long without_code = 0;     // records whose code is Null, passed over

  // What the price list was given and kept.
  bool purged = false;            // "Articoli" emptied, in the change the final commit ends
  // What the purge did: the articles it deleted, those kept because other tables' rows name
  // them, and the rows of other tables deleted with the articles.
  engine::StatementResult purge_result;
  std::optional<RunTally> tally;  // from the start of the walk: articles added, records and values lost
  std::optional<FailureReason> commit_failure;  // the final commit failed, undoing the purge too

  // Why the run stopped, and the failure behind SourceUnreadable, PurgeFailed and
  // WritesRefused.
  StopReason stop = StopReason::None;
  FailureReason stop_failure;

  // The report written, or why it could not be, as the window tells it.
  std::filesystem::path report;
  std::u16string report_failure;

  // The checks passed and the walk over the source began.
  bool Walked() const { return tally.has_value(); }
  // The purge was undone by the failure of the final commit.
  bool PurgeUndone() const { return purged && commit_failure.has_value(); }
};

// The run as its caller sees it.
ImportResult ResultOf(const RunState& run);

}  // namespace import
