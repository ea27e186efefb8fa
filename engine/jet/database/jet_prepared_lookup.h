// A Jet lookup prepared once for many literals: "Select * From T where [C]='" + literal + "';"
// is parsed when first asked, and the table and column it names are kept, so each literal
// costs only the search itself. A statement of another shape, and a literal whose apostrophes
// are not doubled (it would end the literal early), go through OpenRecordset as a whole,
// which answers or refuses them as it always does.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/database/database.h"
#include "engine/jet/database/jet_database_impl.h"

namespace engine::jet {

class JetPreparedLookup : public PreparedLookup {
 public:
  JetPreparedLookup(JetDatabase& database, std::u16string_view before, std::u16string_view after);

  long RecordCount(std::u16string_view literal) override;

 private:
  // Whether the literal stands alone between the statement's apostrophes, with a WHERE on one
  // column; plans it when it does.
  bool ShapeHoldsALiteral();
  long CountByOpening(std::u16string_view literal);

  JetDatabase& database_;
  std::u16string before_, after_;
  std::optional<bool> shape_holds_;  // known once first asked
  JetDatabase::LookupPlan plan_;
  std::u16string statement_;  // the whole statement, when it is opened, kept to reuse its room
};

}  // namespace engine::jet
