// Every text of the import that the user reads, in Italian and exactly as the program has
// always had it (its spelling included).
#pragma once

#include <string_view>

namespace import {

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
inline constexpr std::u16string_view kPurgeFailed = u"Cancellazione non riuscita. ";  // + the reason

// The closing message. Records not imported make it an error, values not written alone a
// warning; the first reason follows the counts.
inline constexpr std::u16string_view kImportNotDone = u"Importazione non eseguita.";
inline constexpr std::u16string_view kImportNotDoneBecause = u"Importazione non eseguita: ";  // + the reason
inline constexpr std::u16string_view kImportDone = u"Importazione eseguita.";
inline constexpr std::u16string_view kImportDoneWithErrorsStart = u"Importazione eseguita con errori: ";
inline constexpr std::u16string_view kImportDoneWithErrorsEnd = u" articoli non importati.";  // + the reason
inline constexpr std::u16string_view kRecordsNotImportedAnd = u" articoli non importati, ";
inline constexpr std::u16string_view kImportDoneWithWarningsStart = u"Importazione eseguita con avvisi: ";
inline constexpr std::u16string_view kValuesNotWrittenEnd = u" valori non scritti.";  // + the reason

}  // namespace import
