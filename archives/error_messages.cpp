#include "archives/error_messages.h"

#include <filesystem>
#include <new>

#include "engine/error.h"
#include "engine/value.h"

namespace archives {
namespace {

std::u16string_view KindText(engine::ErrorKind kind) {
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
    case engine::ErrorKind::Other: break;
  }
  return u"errore imprevisto dell'archivio";
}

bool EndsSentence(std::u16string_view text) {
  return !text.empty() && (text.back() == u'.' || text.back() == u'!' || text.back() == u'?');
}

std::u16string WithFullStop(std::u16string text) {
  if (!EndsSentence(text)) text += u'.';
  return text;
}

}  // namespace

std::u16string ItalianReason(const std::exception& error) {
  const auto* engine_error = dynamic_cast<const engine::Error*>(&error);
  if (!engine_error) {
    if (dynamic_cast<const std::bad_alloc*>(&error)) return u"memoria insufficiente";
    return u"errore imprevisto";
  }
  std::u16string text(KindText(engine_error->kind()));
  switch (engine_error->kind()) {
    case engine::ErrorKind::RuleViolation:
      if (!engine_error->reason().empty()) text = engine::FromUtf8(engine_error->reason());
      break;
    case engine::ErrorKind::OpenInAccess: {
      // A lock file left by Access after a crash keeps the archive closed until removed.
      text += u": chiudere Access e riprovare";
      const std::filesystem::path lock(engine_error->lock_file());
      if (!lock.empty()) {
        text += u"; se Access non è aperto, eliminare il file " + engine::FromUtf8(lock.filename().string());
      }
      break;
    }
    default:
      break;
  }
  return text;
}

std::u16string ItalianSentence(const std::exception& error) {
  std::u16string text = ItalianReason(error);
  if (!text.empty() && text[0] >= u'a' && text[0] <= u'z') text[0] = static_cast<char16_t>(text[0] - u'a' + u'A');
  return WithFullStop(std::move(text));
}

std::u16string CannotOpenArchiveMessage(std::u16string_view path, const std::exception& error) {
  return WithFullStop(u"Impossibile aprire l'archivio " + std::u16string(path) + u": " + ItalianReason(error));
}

std::u16string CannotOpenDestinationMessage(std::u16string_view path, const std::exception& error) {
  return WithFullStop(u"Impossibile aprire l'archivio di destinazione " + std::u16string(path) + u": " +
                      ItalianReason(error));
}

std::u16string JournalSetAsideMessage(std::u16string_view archive, std::u16string_view set_aside_as) {
  return u"Accanto all'archivio " + std::u16string(archive) +
         u" c'era un file di ripristino che non appartiene a questo archivio: non è stato applicato ed è stato "
         u"rinominato in " + std::u16string(set_aside_as) + u". L'archivio non è stato modificato.";
}

}  // namespace archives
