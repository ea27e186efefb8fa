// Record transfer: fills the destination record being added from the source's current record,
// one destination column per column picker (Combo6, 0 to 6), as the slot table in
// record_transfer.cpp says.
#pragma once

#include <string>

#include "archives/data_binding.h"
#include "archives/window_interface.h"
#include "import/resume_next.h"

namespace import {

// The picker of the article code, the one the run requires.
inline constexpr int kCodePicker = 1;

// The values a transfer could not write, which the record will be stored without.
struct TransferLosses {
  int values = 0;
  FailureReason first_reason;  // why the first of them was lost
};

// Writes the slots into the record being added on `destination` (after AddNew), from the
// record `source` stands on. A slot whose read or write fails is skipped under `steps` and
// counted in the result; the record is neither stored nor moved here.
TransferLosses TransferRecord(const archives::FormControls& form, archives::DataBinding& source,
                              archives::DataBinding& destination, ResumeNext& steps);

}  // namespace import
