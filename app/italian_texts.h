// Every text of the window that the user reads, in Italian and exactly as the window has
// always had it. The window's caption and the message boxes' title are the archives layer's
// (kApplicationTitle), the Toolbar4 keys the import's (kImportKey, kCloseKey).
#pragma once

#include <string>
#include <string_view>

namespace app {

// Frame captions, one per step.
inline constexpr std::u16string_view kStep1Caption =
    u"Passo 1: Selezionare l'archivio da cui si desidera importare i dati";
inline constexpr std::u16string_view kStep2Caption = u"Passo 2 - Seleziona tabella";
inline constexpr std::u16string_view kStep3Caption = u"Passo 3 - Selezione campi";

// Labels.
inline constexpr std::u16string_view kLabel6Caption = u"Selezionare la tabella \"Articoli\" dal database sorgente";
inline constexpr std::u16string_view kLabel11Caption = u"Stato di avanzamento:";
// The progress bar's name for a screen reader: Label11's caption, without its colon.
inline constexpr std::u16string_view kProgressBarName = u"Stato di avanzamento";

// Step 3: the note beside each picker (what each one chooses is the import's, which names the
// pickers in its reports too: import::kPickerCaptions).
inline constexpr std::u16string_view kRequired = u"(Campo obbligatorio)";
inline constexpr std::u16string_view kOptional = u"(Campo non obbligatorio)";

// The Toolbar1 button's key, which is also its caption.
inline constexpr std::u16string_view kBrowseKey = u"Sfoglia";

// The file dialog's type column, where Qt's own Italian texts have none.
inline constexpr std::u16string_view kFolderType = u"Cartella";
inline constexpr std::u16string_view kDriveType = u"Unità";

// A handler that failed: the program says why and ends.
inline std::u16string RunTimeErrorText(std::u16string_view reason) {
  return u"Errore di run-time: " + std::u16string(reason) + u".";
}

}  // namespace app
