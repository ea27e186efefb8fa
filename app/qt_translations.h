// Qt's own texts (the buttons of message boxes, the file-open dialog) in Italian, matching
// the program's messages whatever the system language.
#pragma once

class QCoreApplication;

namespace app {

// Installs qtbase_it from Qt's translations folder into `application`, and the few texts it
// lacks (the file dialog's type names); false when the file is missing (Debian package
// qt6-translations-l10n), and Qt's other texts then stay in English.
bool InstallItalianQtTranslations(QCoreApplication& application);

}  // namespace app
