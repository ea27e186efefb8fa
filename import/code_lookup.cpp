#include "import/code_lookup.h"

#include <string>

#include "import/destination_queries.h"
#include "import/text_rules.h"

namespace import {

std::optional<long> ArticlesWithCode(RunContext& run, std::u16string_view code) {
  // Looked up as it will be stored, cut to the column's limit, so that a long code is
  // found again on the next run instead of being added once more.
  std::u16string literal(CutToLimit(code));
  ToSql(literal);
  return run.steps.Get([&] { return run.destination.CountRecords(kLookupStart, literal, kLookupEnd); });
}

}  // namespace import
