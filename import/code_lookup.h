// The lookup of one article code in "Articoli", made once for each source record the walk
// reads, to tell a new article from one the price list already holds.
#pragma once

#include <optional>
#include <string_view>

#include "import/run_context.h"

namespace import {

// How many articles of "Articoli" have `code` as their article code; nothing when the lookup
// failed. The statement is prepared once for the run's codes (DataBinding::CountRecords); the
// destination binding's record set stays as it was.
std::optional<long> ArticlesWithCode(RunContext& run, std::u16string_view code);

}  // namespace import
