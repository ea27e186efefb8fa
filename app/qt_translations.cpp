#include "app/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "app/italian_texts.h"
#include "app/qt_dialogs.h"

namespace app {
namespace {

// What Qt's Italian catalogue lacks: Qt 6 moved the file dialog's type names to a context of
// their own that the catalogue has no entries for, so folders showed as "Folder".
class MissingItalianTexts : public QTranslator {
 public:
  using QTranslator::QTranslator;

  QString translate(const char* context, const char* source_text, const char*, int) const override {
    if (qstrcmp(context, "QAbstractFileIconProvider") != 0) return {};
    if (qstrcmp(source_text, "Folder") == 0 || qstrcmp(source_text, "File Folder") == 0) return ToQString(kFolderType);
    if (qstrcmp(source_text, "Drive") == 0) return ToQString(kDriveType);
    return {};  // left to the catalogues installed before
  }
  bool isEmpty() const override { return false; }
};

}  // namespace

bool InstallItalianQtTranslations(QCoreApplication& application) {
  auto* translator = new QTranslator(&application);
  const bool loaded = translator->load(QStringLiteral("qtbase_it"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
  if (loaded) {
    application.installTranslator(translator);
  } else {
    delete translator;
  }
  // Installed last, asked first.
  application.installTranslator(new MissingItalianTexts(&application));
  return loaded;
}

}  // namespace app
