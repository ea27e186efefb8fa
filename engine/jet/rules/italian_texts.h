// The reasons a table's rules and relationships give for refusing a record, in Italian: the
// user reads them as they are (the archives layer shows a rule violation's reason unchanged),
// and they stand beside the texts a database's own validation texts would give.
#pragma once

#include <string>
#include <string_view>

namespace engine::jet {

// Where a rule stands, to follow the rule in a refusal.
inline std::u16string ColumnPlaceText(std::u16string_view column) { return u"del campo " + std::u16string(column); }
inline std::u16string TablePlaceText(std::u16string_view table) { return u"della tabella " + std::u16string(table); }

// A rule or a default this engine cannot evaluate: no record can be stored.
inline std::u16string RuleNotUnderstoodText(std::u16string_view rule, std::u16string_view place) {
  return u"Il record non può essere salvato: questo programma non sa verificare la regola " + std::u16string(rule) +
         u" " + std::u16string(place) + u".";
}
inline std::u16string DefaultNotUnderstoodText(std::u16string_view default_value, std::u16string_view column) {
  return u"Il record non può essere salvato: questo programma non sa calcolare il valore predefinito " +
         std::u16string(default_value) + u" " + ColumnPlaceText(column) + u".";
}

// A record that breaks a rule.
inline std::u16string DefaultNotValidText(std::u16string_view default_value, std::u16string_view column) {
  return u"Il valore predefinito " + std::u16string(default_value) + u" " + ColumnPlaceText(column) +
         u" non è un valore valido per il campo.";
}
inline std::u16string RequiredText(std::u16string_view column) {
  return u"Il campo " + std::u16string(column) + u" non può essere vuoto.";
}
inline std::u16string NoEmptyTextText(std::u16string_view column) {
  return u"Il campo " + std::u16string(column) + u" non può contenere un testo vuoto.";
}
inline std::u16string ColumnRuleBrokenText(std::u16string_view column, std::u16string_view value,
                                           std::u16string_view rule) {
  return u"Il valore «" + std::u16string(value) + u"» " + ColumnPlaceText(column) + u" non rispetta la regola " +
         std::u16string(rule) + u".";
}
inline std::u16string TableRuleBrokenText(std::u16string_view rule, std::u16string_view table) {
  return u"Il record non rispetta la regola " + std::u16string(rule) + u" " + TablePlaceText(table) + u".";
}

// A record that names a row its related table does not have (a relationship with
// referential integrity): "Il valore «Giocattoli» del campo Categoria non è nella tabella
// Categorie." Several columns are listed with their values in the same order.
inline std::u16string RelatedRecordMissingText(std::u16string_view columns, std::u16string_view values,
                                               std::u16string_view table) {
  return u"Il valore «" + std::u16string(values) + u"» " + ColumnPlaceText(columns) + u" non è nella tabella " +
         std::u16string(table) + u".";
}

}  // namespace engine::jet
