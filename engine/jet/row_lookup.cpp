// Equality lookups: see row_lookup.h.
#include "engine/jet/row_lookup.h"

#include "engine/jet/data_page.h"
#include "engine/jet/name_compare.h"
#include "engine/jet/table_scan.h"

namespace engine::jet {
namespace {

std::u16string_view WithoutTrailingSpaces(std::u16string_view text) {
  while (!text.empty() && text.back() == u' ') text.remove_suffix(1);
  return text;
}

}  // namespace

bool SameTextInGeneralOrder(std::u16string_view a, std::u16string_view b) {
  return SameName(WithoutTrailingSpaces(a), WithoutTrailingSpaces(b));
}

RowLookup::RowLookup(Pager& pager, const TableDefinition& table, const TextDecoder& text, const TextLocale& locale)
    : pager_(pager), table_(table), locale_(locale), decoder_(pager, table, text) {}

std::vector<RowId> RowLookup::FindEqual(int position, std::u16string_view literal) {
  return FindByScan(position, literal);
}

bool RowLookup::Matches(RowId id, int position, std::u16string_view literal) {
  RowSlot slot = ReadLiveRow(pager_, id);
  decoder_.Crack(slot.data, slot.size, cracked_);
  const Value value = decoder_.Decode(cracked_, position);
  if (value.is_null()) return false;
  if (value.type() == Value::Type::Text) return SameTextInGeneralOrder(value.text(), literal);
  return SameTextInGeneralOrder(value.ToText(locale_), literal);
}

std::vector<RowId> RowLookup::FindByScan(int position, std::u16string_view literal) {
  std::vector<RowId> found;
  for (RowId id : ListLiveRows(pager_, table_)) {
    if (Matches(id, position, literal)) found.push_back(id);
  }
  return found;
}

}  // namespace engine::jet
