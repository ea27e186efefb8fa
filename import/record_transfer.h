// Record transfer: fills the destination record being added from the source's current record,
// one destination column per column picker (Combo6, 0 to 6), as the slot table in
// record_transfer.cpp says.
#pragma once

#include <string>
#include <vector>

#include "archives/data_binding.h"
#include "archives/window_interface.h"
#include "import/resume_next.h"

namespace import {

// The picker of the article code, the one the run requires.
inline constexpr int kCodePicker = 1;

// The values a transfer could not write, which the record will be stored without, in slot
// order: why each was lost, with the destination field and the source value. Also the texts
// the destination took but keeps otherwise (characters its code page lacks), with what it keeps.
struct TransferLosses {
  std::vector<FailureReason> values;
  std::vector<FailureReason> changed;
};

// Writes the slots into the record being added on `destination` (after AddNew), from the
// record `source` stands on. A slot whose read or write fails is skipped under `steps` and
// counted in the result; the record is neither stored nor moved here.
TransferLosses TransferRecord(const archives::FormControls& form, archives::DataBinding& source,
                              archives::DataBinding& destination, ResumeNext& steps);

// The value a slot gives the destination field `field` from the current source record, as
// the clerk sees it (its text form; a slot's default when its picker is empty), to name the
// value a rule of that field refused. Empty when no slot feeds the field or nothing can be
// read; reads outside the run's regime, so that its last failure stays the one to report.
std::u16string SourceTextFor(std::u16string_view field, const archives::FormControls& form,
                             archives::DataBinding& source, archives::DataBinding& destination);

}  // namespace import
