// Every text of the import that the user reads, in Italian and exactly as the program has
// always had it (its spelling included).
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "archives/window_interface.h"
#include "engine/database/database.h"
#include "engine/text/utf.h"

namespace import {

// What each column picker chooses, by picker: the caption beside it on the window, and the
// name the report gives it.
inline constexpr std::array<std::u16string_view, archives::kPickerCount> kPickerCaptions = {
    u"Nome categoria", u"Codice articolo", u"Descrizione",      u"Descrizione catalogo",
    u"Prezzo",         u"Prezzo 2",        u"Percorso immagine"};

// Keys of the Toolbar4 buttons, which are also their captions.
inline constexpr std::u16string_view kImportKey = u"Importa";
inline constexpr std::u16string_view kCloseKey = u"Chiudi";

// Checks of the choices, in the order they are made.
inline constexpr std::u16string_view kNoArchiveChosen =
    u"Attenzione, non è stata selezionato l'archivio da cui si desidera importare i dati.";
inline constexpr std::u16string_view kNoTableChosen =
    u"Attenzione, non è stata selezionato il nome della colonna del database sorgente degli articoli.";
inline constexpr std::u16string_view kNoCodeColumnChosen =
    u"Attenzione, non è stata selezionato il nome della colonna contenente il codice degli articoli.";
inline constexpr std::u16string_view kSourceIsEmpty =
    u"Attenzione, l'archivio sorgente non contiene dati da importare.";

// The purge offer.
inline constexpr std::u16string_view kPurgeQuestion =
    u"All'interno del database sono già presenti degli articoli. Prima di effettaure l'importazione si "
    u"vuole procedere con la cancellazione dei dati già importati?";
inline constexpr std::u16string_view kPurgeDone = u"Cancellazione record effettuata.";
// The tables named after a count: "tabella Ordini", "tabelle Ordini, Righe".
inline std::u16string TablesText(const std::vector<std::u16string>& tables) {
  std::u16string text = tables.size() == 1 ? u"tabella " : u"tabelle ";
  for (size_t i = 0; i < tables.size(); ++i) text += (i == 0 ? u"" : u", ") + tables[i];
  return text;
}
// Rows of other tables deleted with the articles: "80 record della tabella Ordini".
inline std::u16string CascadedText(const engine::StatementResult& result) {
  std::u16string text;
  for (const engine::StatementResult::Cascade& cascade : result.cascaded) {
    if (!text.empty()) text += u", ";
    text += engine::FromUtf8(std::to_string(cascade.rows)) + u" record della tabella " + cascade.table;
  }
  return text;
}
// "Cancellazione record effettuata: 560 articoli cancellati, 40 non cancellati perché
// collegati ad altri dati (tabella Ordini)." and what went with the articles; kPurgeDone
// alone when the relationships of the price list kept nothing and took nothing with them.
inline std::u16string PurgeDoneText(const engine::StatementResult& result) {
  if (result.kept == 0 && result.cascaded.empty()) return std::u16string(kPurgeDone);
  std::u16string text =
      u"Cancellazione record effettuata: " + engine::FromUtf8(std::to_string(result.deleted)) + u" articoli cancellati";
  if (result.kept > 0) {
    text += u", " + engine::FromUtf8(std::to_string(result.kept)) +
            u" non cancellati perché collegati ad altri dati (" + TablesText(result.kept_for) + u")";
  }
  text += u".";
  if (!result.cascaded.empty()) text += u" Cancellati insieme agli articoli: " + CascadedText(result) + u".";
  return text;
}
inline constexpr std::u16string_view kPurgeFailed = u"Cancellazione non riuscita. ";  // + the reason
// The purge could not take the price list for itself: another program is reading it.
inline constexpr std::u16string_view kPriceListInUseNothingDeleted =
    u"Il listino è in uso da un altro programma: nessun record è stato cancellato e l'importazione non è stata "
    u"eseguita. Riprovare quando l'altro programma avrà terminato.";
// The final commit of a run with the purge failed: the whole change was undone.
inline constexpr std::u16string_view kPurgeUndone =
    u"Importazione non riuscita: la cancellazione è stata annullata e il listino è rimasto com'era prima "
    u"dell'importazione. ";  // + the reason

// The closing message. Records not imported make it an error, values not written alone a
// warning; the first reason follows the counts.
inline constexpr std::u16string_view kImportNotDone = u"Importazione non eseguita.";
inline constexpr std::u16string_view kImportNotDoneBecause = u"Importazione non eseguita: ";  // + the reason
// After kImportNotDoneBecause, when the source's pages hold none of the records it counts.
inline std::u16string RecordsNotReadText(long count) {
  return engine::FromUtf8(std::to_string(count)) + u" record dell'archivio sorgente non si possono leggere. ";
}
inline constexpr std::u16string_view kImportDone = u"Importazione eseguita.";
inline constexpr std::u16string_view kImportDoneWithErrorsStart = u"Importazione eseguita con errori: ";
inline constexpr std::u16string_view kImportDoneWithErrorsEnd = u" articoli non importati.";  // + the reason
inline constexpr std::u16string_view kRecordsNotImportedAnd = u" articoli non importati, ";
inline constexpr std::u16string_view kImportDoneWithWarningsStart = u"Importazione eseguita con avvisi: ";
inline constexpr std::u16string_view kValuesNotWrittenEnd = u" valori non scritti.";  // + the reason
// A reason that does not name the field and the value it concerns gets them after it:
// "Il prezzo non può essere negativo (campo Prezzo, valore «-5»)."
inline std::u16string PlaceOfReasonText(std::u16string_view field, std::u16string_view value) {
  if (value.empty()) return u" (campo " + std::u16string(field) + u")";
  return u" (campo " + std::u16string(field) + u", valore «" + std::u16string(value) + u"»)";
}
// After the counts, where the report is; or why it could not be written.
inline std::u16string ReportDetailText(std::u16string_view file) {
  return u"Il dettaglio è nel file " + std::u16string(file) + u".";
}
inline std::u16string ReportNotWrittenText(std::u16string_view file, std::u16string_view reason) {
  return u"Il resoconto dell'importazione non è stato scritto in " + std::u16string(file) + u": " +
         std::u16string(reason) + u".";
}

// The report a run writes (a CSV file a spreadsheet opens): its summary keys, the words of
// its detail, and its outcomes.
inline constexpr std::u16string_view kReportFolderName = u"Importazioni";
inline constexpr std::u16string_view kReportSourceKey = u"Archivio di origine";
inline constexpr std::u16string_view kReportTableKey = u"Tabella";
inline constexpr std::u16string_view kReportPriceListKey = u"Listino";
// The price list's value: the file written, then the name the program opened it by when that
// is another (a symbolic link, as the installed program's listini.mdb).
inline std::u16string ReportPriceListText(std::u16string_view written, std::u16string_view opened) {
  if (opened.empty() || opened == written) return std::u16string(written);
  return std::u16string(written) + u" (aperto come " + std::u16string(opened) + u")";
}
inline constexpr std::u16string_view kReportStartKey = u"Inizio";
inline constexpr std::u16string_view kReportEndKey = u"Fine";
inline constexpr std::u16string_view kReportPurgeKey = u"Cancellazione prima dell'importazione";
inline constexpr std::u16string_view kReportPurgeKeptKey = u"Non cancellati perché collegati";
inline constexpr std::u16string_view kReportPurgeCascadedKey = u"Cancellati insieme agli articoli";
inline constexpr std::u16string_view kReportYes = u"Sì";
// The purge was made, then undone with the rest of the run by the failure of the final commit.
inline constexpr std::u16string_view kReportPurgeUndone = u"Sì, poi annullata";
inline constexpr std::u16string_view kReportNo = u"No";
inline constexpr std::u16string_view kReportDeletedKey = u"Articoli cancellati";
inline constexpr std::u16string_view kReportAddedKey = u"Articoli aggiunti";
inline constexpr std::u16string_view kReportAlreadyPresentKey = u"Già presenti";
inline constexpr std::u16string_view kReportWithoutCodeKey = u"Senza codice";
inline constexpr std::u16string_view kReportNotImportedKey = u"Non importati";
inline constexpr std::u16string_view kReportValuesNotWrittenKey = u"Valori non scritti";
inline constexpr std::array<std::u16string_view, 6> kReportHeader = {u"Riga",  u"Codice articolo", u"Esito",
                                                                     u"Campo", u"Valore",          u"Motivo"};
inline constexpr std::u16string_view kReportNotImported = u"non importato";
inline constexpr std::u16string_view kReportValueNotWritten = u"valore non scritto";
inline constexpr std::u16string_view kReportValueChanged = u"valore cambiato";
inline constexpr std::u16string_view kReportValuesChangedKey = u"Valori cambiati";
// A text the price list stores otherwise (an Access 97 file keeps single bytes of its code
// page, where a character it lacks becomes a similar one or "?"): `stored` is what it holds.
inline std::u16string ChangedTextReason(std::u16string_view stored) {
  return u"carattere non previsto dalla codifica del listino: scritto come «" + std::u16string(stored) + u"»";
}
// The outcome of the records a stopped walk never read, from the line's row on.
inline std::u16string ReportNotReadText(long records) {
  return engine::FromUtf8(std::to_string(records)) + u" record non letti";
}
// A write the price list refused, which every later one would meet too, stopped the run.
inline constexpr std::u16string_view kImportStoppedStart = u"Importazione interrotta: ";
inline constexpr std::u16string_view kImportStoppedEnd =
    u" articoli importati prima dell'interruzione, gli altri non sono stati importati. ";  // + the reason

// The price list's table was found damaged while the run was writing to it: what had not been
// saved was undone. `saved` articles reached the file before (saves are grouped), normally 0,
// since what the run writes is checked before the first save.
inline std::u16string DamagedPriceListText(std::u16string_view path, std::u16string_view table, long saved) {
  std::u16string text = u"Il listino " + std::u16string(path) + u" è danneggiato (tabella " + std::u16string(table) + u"): ";
  if (saved == 0) {
    text += u"nessun articolo è stato importato.";
  } else {
    const std::string digits = std::to_string(saved);
    text += u"sono stati importati solo " + std::u16string(digits.begin(), digits.end()) +
            u" articoli, poi l'importazione è stata interrotta.";
  }
  return text + u" Aprirlo con Access e usare «Compatta e ripristina database», poi riprovare.";
}

}  // namespace import
