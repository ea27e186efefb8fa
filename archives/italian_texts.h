// Every text of the archives layer that the user reads, in Italian and exactly as the program
// has always had it. A text with a part that changes is a function that puts the part in
// its place; which text is shown when is decided elsewhere (error_messages.cpp, handlers.cpp).
#pragma once

#include <string>
#include <string_view>

#include "engine/base/error.h"

namespace archives {

// The title every message box and the file dialog carry, and the window's caption.
inline constexpr std::u16string_view kApplicationTitle = u"Importazione archivi";
inline constexpr std::u16string_view kArchiveFileFilter =
    u"File di archivio in Access (*.mdb)|*.mdb|File di archivio in Excel (*.xls)|*.xls";

// A chosen file that is neither a .mdb nor a .xls.
inline constexpr std::u16string_view kInvalidFormat = u"Formato file non valido.";

// Reasons, lower-case and without a full stop, to follow a colon.
constexpr std::u16string_view ReasonText(engine::ErrorKind kind) {
  switch (kind) {
    case engine::ErrorKind::NotFound: return u"il file non esiste";
    case engine::ErrorKind::AccessDenied: return u"accesso al file negato";
    case engine::ErrorKind::Locked: return u"il file è in uso da un altro programma";
    case engine::ErrorKind::OpenInAccess: return u"l'archivio è aperto in Microsoft Access";
    case engine::ErrorKind::Protected: return u"l'archivio è protetto da password o cifrato";
    case engine::ErrorKind::UnsupportedFormat: return u"formato dell'archivio non supportato";
    case engine::ErrorKind::Damaged: return u"il file è danneggiato o non è un archivio valido";
    case engine::ErrorKind::TooLarge: return u"il file è troppo grande";
    case engine::ErrorKind::AlreadyExists: return u"il file esiste già";
    case engine::ErrorKind::NoSuchTable: return u"la tabella non esiste";
    case engine::ErrorKind::NoSuchColumn: return u"la colonna non esiste";
    case engine::ErrorKind::NoCurrentRecord: return u"nessun record corrente";
    case engine::ErrorKind::InvalidValue: return u"valore non valido";
    case engine::ErrorKind::Duplicate: return u"valore duplicato in un indice univoco";
    case engine::ErrorKind::ReadOnly: return u"l'archivio è di sola lettura";
    case engine::ErrorKind::Unsupported: return u"operazione non supportata dall'archivio";
    case engine::ErrorKind::Io: return u"errore di lettura o scrittura sul disco";
    case engine::ErrorKind::DiskFull: return u"il disco è pieno";
    case engine::ErrorKind::ReadOnlyFileSystem: return u"il disco è di sola lettura";
    case engine::ErrorKind::FileChanged: return u"il file è cambiato durante la lettura";
    case engine::ErrorKind::RuleViolation: return u"il record non rispetta le regole della tabella";
    case engine::ErrorKind::JournalUnreadable: return u"il file di ripristino di una scrittura interrotta non si può leggere";
    case engine::ErrorKind::ForeignJournal: return u"accanto all'archivio c'è un file di ripristino che non gli appartiene";
    case engine::ErrorKind::NotAJournal: return u"al posto del file di ripristino dell'archivio c'è qualcosa che non è un file";
    case engine::ErrorKind::Other: break;
  }
  return u"errore imprevisto dell'archivio";
}
// A value a column refused, naming both, lower-case and without a full stop: "il valore
// «dodici» non è un numero valido per il campo Prezzo". `value` is already shortened.
inline std::u16string RefusedValueText(engine::Refusal refusal, std::u16string_view value, std::u16string_view column) {
  std::u16string_view what;
  switch (refusal) {
    case engine::Refusal::NotANumber: what = u" non è un numero valido per il campo "; break;
    case engine::Refusal::NotADate: what = u" non è una data valida per il campo "; break;
    case engine::Refusal::NotAYesNo: what = u" non è un valore Sì/No valido per il campo "; break;
    case engine::Refusal::OutOfRange: what = u" è fuori dall'intervallo ammesso dal campo "; break;
    case engine::Refusal::TooLong: what = u" è più lungo di quanto ammette il campo "; break;
    default: what = u" non è un valore ammesso dal campo "; break;
  }
  return u"il valore «" + std::u16string(value) + u"»" + std::u16string(what) + std::u16string(column);
}
inline constexpr std::u16string_view kOutOfMemory = u"memoria insufficiente";
inline constexpr std::u16string_view kUnexpectedError = u"errore imprevisto";
inline constexpr std::u16string_view kNotAllowedToChange = u"questo utente non ha il permesso di modificarlo";

// What to do about an archive that Access holds open, appended to its reason; the lock file
// is named only when there is one (Access leaves it behind after a crash).
inline constexpr std::u16string_view kCloseAccessAdvice = u": chiudere Access e riprovare";
inline std::u16string RemoveLockFileAdvice(std::u16string_view lock_file) {
  return u"; se Access non è aperto, eliminare il file " + std::u16string(lock_file);
}

// Messages. A reason is ended with a full stop where it does not end a sentence already.
inline std::u16string CannotOpenArchiveText(std::u16string_view path, std::u16string_view reason) {
  return u"Impossibile aprire l'archivio " + std::u16string(path) + u": " + std::u16string(reason);
}
inline std::u16string CannotOpenDestinationText(std::u16string_view path, std::u16string_view reason) {
  return u"Impossibile aprire l'archivio di destinazione " + std::u16string(path) + u": " + std::u16string(reason);
}
inline std::u16string CannotWritePriceListText(std::u16string_view path, std::u16string_view reason) {
  return u"Impossibile aprire in scrittura il listino " + std::u16string(path) + u": " + std::u16string(reason) +
         u". Chiedere all'amministratore di rendere scrivibili il file e la sua cartella.";
}
inline std::u16string CannotSaveAtEndText(std::u16string_view path, std::u16string_view reason) {
  return u"Impossibile salvare le ultime modifiche al listino " + std::u16string(path) + u": " +
         std::u16string(reason) + u". Il listino è rimasto com'era all'ultimo salvataggio.";
}
inline std::u16string JournalSetAsideText(std::u16string_view archive, std::u16string_view set_aside_as) {
  return u"Accanto all'archivio " + std::u16string(archive) +
         u" c'era un file di ripristino che non appartiene a questo archivio o è danneggiato: non è stato applicato "
         u"ed è stato rinominato in " + std::u16string(set_aside_as) + u". L'archivio non è stato modificato.";
}

// Reasons for the three journal kinds, naming the journal, with what to do.
inline std::u16string JournalUnreadableReason(std::u16string_view journal) {
  return u"il file di ripristino " + std::u16string(journal) +
         u", lasciato da una scrittura interrotta, non si può leggere. L'archivio non è stato toccato e il file di "
         u"ripristino è stato conservato: controllare il disco e riprovare; l'archivio sarà ripristinato appena il "
         u"file si potrà leggere";
}
inline std::u16string ForeignJournalReason(std::u16string_view journal) {
  return u"accanto all'archivio c'è il file di ripristino " + std::u16string(journal) +
         u", che appartiene a un altro archivio o è danneggiato, e non è stato possibile metterlo da parte perché il "
         u"disco o la cartella sono di sola lettura. L'archivio non è stato toccato: spostare quel file in un'altra "
         u"cartella, oppure copiare l'archivio da solo in una cartella scrivibile, e riprovare";
}

inline std::u16string NotAJournalReason(std::u16string_view journal) {
  return u"accanto all'archivio, al posto del file di ripristino " + std::u16string(journal) +
         u", c'è qualcosa che non è un file (una cartella, una pipe o un dispositivo). L'archivio non è stato "
         u"toccato: chiedere all'amministratore di toglierlo e riprovare";
}

}  // namespace archives
