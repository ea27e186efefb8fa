#include "archives/error_messages.h"

#include "engine/error.h"
#include "engine/value.h"

namespace archives {
namespace {

std::u16string_view KindText(engine::ErrorKind kind) {
  switch (kind) {
    case engine::ErrorKind::NotFound: return u"il file non esiste";
    case engine::ErrorKind::AccessDenied: return u"accesso al file negato";
    case engine::ErrorKind::Locked: return u"il file è in uso da un altro programma";
    case engine::ErrorKind::Protected: return u"l'archivio è protetto da password o cifrato";
    case engine::ErrorKind::UnsupportedFormat: return u"formato dell'archivio non supportato";
    case engine::ErrorKind::Damaged: return u"il file è danneggiato o non è un archivio valido";
    case engine::ErrorKind::NoSuchTable: return u"la tabella non esiste";
    case engine::ErrorKind::NoSuchColumn: return u"la colonna non esiste";
    case engine::ErrorKind::InvalidValue: return u"valore non valido";
    case engine::ErrorKind::Duplicate: return u"valore duplicato in un indice univoco";
    case engine::ErrorKind::ReadOnly: return u"l'archivio è di sola lettura";
    case engine::ErrorKind::Io: return u"errore di lettura o scrittura sul disco";
    case engine::ErrorKind::DiskFull: return u"il disco è pieno";
    case engine::ErrorKind::ReadOnlyFileSystem: return u"il disco è di sola lettura";
    case engine::ErrorKind::FileChanged: return u"il file è cambiato durante la lettura";
    case engine::ErrorKind::RuleViolation: return u"il record non rispetta le regole della tabella";
    case engine::ErrorKind::Other: break;
  }
  return u"errore dell'archivio";
}

}  // namespace

std::u16string ItalianReason(const std::exception& error) {
  if (const auto* engine_error = dynamic_cast<const engine::Error*>(&error)) {
    // A record refused by a rule: the reason is already the text for the user.
    if (engine_error->kind() == engine::ErrorKind::RuleViolation && !engine_error->reason().empty()) {
      return engine::FromUtf8(engine_error->reason());
    }
    std::u16string text(KindText(engine_error->kind()));
    if (!engine_error->reason().empty()) text += u" (" + engine::FromUtf8(engine_error->reason()) + u")";
    return text;
  }
  return u"errore imprevisto (" + engine::FromUtf8(error.what()) + u")";
}

std::u16string CannotOpenArchiveMessage(std::u16string_view path, const std::exception& error) {
  return u"Impossibile aprire l'archivio " + std::u16string(path) + u": " + ItalianReason(error) + u".";
}

std::u16string CannotOpenDestinationMessage(std::u16string_view path, const std::exception& error) {
  return u"Impossibile aprire l'archivio di destinazione " + std::u16string(path) + u": " +
         ItalianReason(error) + u".";
}

std::u16string JournalSetAsideMessage(std::u16string_view archive, std::u16string_view set_aside_as) {
  return u"Accanto all'archivio " + std::u16string(archive) +
         u" c'era un file di ripristino che non appartiene a questo archivio: non è stato applicato ed è stato "
         u"rinominato in " + std::u16string(set_aside_as) + u". L'archivio non è stato modificato.";
}

}  // namespace archives
