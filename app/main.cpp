// Importazione archivi: one window that copies articles from an Access or Excel archive into
// the price list listini.mdb beside the program.
#include <QApplication>

#include "app/form1.h"
#include "app/qt_translations.h"
#include "engine/text/text_locale.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // Ties the window to its menu entry (packaging/), whose icon the desktop then shows.
  QGuiApplication::setDesktopFileName(QStringLiteral("importazione-archivi"));
  // Every text of the program is Italian; Qt's own buttons and dialogs follow, whatever the
  // system language.
  app::InstallItalianQtTranslations(application);

  app::Form1 window(engine::TextLocale::FromEnvironment());
  window.Load();
  window.show();
  const int status = application.exec();
  const int saved = window.End();
  return status != 0 ? status : saved;
}
