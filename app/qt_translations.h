// Qt's own texts (the buttons of message boxes, the file-open dialog) in Italian, matching
// the program's messages whatever the system language.
#pragma once

class QCoreApplication;

namespace app {

// Installs qtbase_it from Qt's translations folder into `application`; false when the
// file is missing (Debian package qt6-translations-l10n), and Qt then stays in English.
bool InstallItalianQtTranslations(QCoreApplication& application);

}  // namespace app
