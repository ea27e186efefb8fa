// Prepared lookups: see jet_prepared_lookup.h.
#include "engine/jet/database/jet_prepared_lookup.h"

#include "engine/base/error.h"
#include "engine/sql/sql.h"

namespace engine::jet {
namespace {

// The text an SQL literal's inside stands for, each '' read as one apostrophe, into `text`;
// false when an apostrophe stands alone.
bool UndoubleApostrophes(std::u16string_view literal, std::u16string& text) {
  text.clear();
  for (size_t i = 0; i < literal.size(); ++i) {
    text += literal[i];
    if (literal[i] != u'\'') continue;
    if (i + 1 == literal.size() || literal[i + 1] != u'\'') return false;
    ++i;
  }
  return true;
}

}  // namespace

JetPreparedLookup::JetPreparedLookup(JetDatabase& database, std::u16string_view before, std::u16string_view after)
    : database_(database), before_(before), after_(after) {}

bool JetPreparedLookup::ShapeHoldsALiteral() {
  // The literal is alone between the apostrophes when an empty one and a one-letter one both
  // come back as given, from the same table and column.
  try {
    const SelectStatement empty = ParseRecordSource(before_ + after_);
    const SelectStatement letter = ParseRecordSource(before_ + u"x" + after_);
    if (!empty.where_column || !letter.where_column || !empty.where_literal.empty() || letter.where_literal != u"x" ||
        empty.table != letter.table || *empty.where_column != *letter.where_column) {
      return false;
    }
    plan_.table_name = empty.table;
    plan_.column_name = *empty.where_column;
    return true;
  } catch (const Error&) {
    return false;  // opening the whole statement refuses it, with the file's name
  }
}

long JetPreparedLookup::CountByOpening(std::u16string_view literal) {
  statement_.assign(before_).append(literal).append(after_);
  return database_.OpenRecordset(statement_)->RecordCount();
}

long JetPreparedLookup::RecordCount(std::u16string_view literal) {
  if (!shape_holds_) shape_holds_ = ShapeHoldsALiteral();
  if (!*shape_holds_) return CountByOpening(literal);
  if (literal.find(u'\'') == std::u16string_view::npos) return database_.CountEqual(plan_, literal);
  std::u16string text;
  if (!UndoubleApostrophes(literal, text)) return CountByOpening(literal);
  return database_.CountEqual(plan_, text);
}

}  // namespace engine::jet
