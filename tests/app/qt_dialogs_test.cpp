// The Qt side of the dialogs: the file filter in Qt's syntax, the real message boxes driven
// by the keyboard, and Qt's own buttons in Italian.
#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

#include "app/qt_dialogs.h"
#include "app/qt_translations.h"
#include "archives/italian_texts.h"
#include "tests/app/window_test_support.h"

namespace {

TEST(QtFileFilterTest, ConvertsDescriptionPatternPairs) {
  const std::pair<std::u16string_view, const char*> cases[] = {
      {archives::kArchiveFileFilter, "File di archivio in Access (*.mdb);;File di archivio in Excel (*.xls)"},
      // A description without its pattern gets it, in brackets.
      {u"Testo|*.txt", "Testo (*.txt)"},
      // Several patterns: ';' in the pair, spaces for Qt.
      {u"Archivi (*.mdb;*.mde)|*.mdb;*.mde|Tutti|*.*", "Archivi (*.mdb *.mde);;Tutti (*.*)"},
      // A description whose brackets list other patterns keeps them and gets its own.
      {u"Fogli (Excel)|*.xls", "Fogli (Excel) (*.xls)"},
      // A lone description without a pattern is dropped.
      {u"Access|*.mdb|Orfano", "Access (*.mdb)"},
      {u"", ""},
  };
  for (const auto& [filter, expected] : cases) {
    EXPECT_EQ(app::QtFileFilter(filter).toStdString(), expected) << testsupport::Printable(filter);
  }
}

// What a real message box looked like when it came up, and the key that answered it.
struct SeenBox {
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QStringList buttons;
  QString default_button;
  int width = 0;
};

// Shows a real box through QtDialogs and answers it with `key` as soon as it is up.
int AnswerRealBox(std::u16string_view text, archives::MessageStyle style, Qt::Key key, SeenBox* seen) {
  archives::WindowState state(engine::TextLocale::Italian());
  app::QtDialogs dialogs(nullptr, state);
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    answer.stop();
    seen->title = box->windowTitle();
    seen->text = box->text();
    seen->icon = box->icon();
    seen->width = box->width();
    for (QAbstractButton* button : box->buttons()) seen->buttons << button->text();
    if (box->defaultButton()) seen->default_button = box->defaultButton()->text();
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(box, &press);
  });
  answer.start(5);
  return dialogs.MessageBox(text, style);
}

TEST(QtDialogsTest, RealMessageBoxesAnswerFromTheKeyboard) {
  testsupport::Application();
  app::InstallItalianQtTranslations(testsupport::Application());
  struct Case {
    archives::MessageStyle style;
    Qt::Key key;
    int result;
    QMessageBox::Icon icon;
    int buttons;
  };
  const Case cases[] = {
      {archives::MessageStyle::YesNo, Qt::Key_Return, archives::kAnswerYes, QMessageBox::NoIcon, 2},
      {archives::MessageStyle::YesNo, Qt::Key_Enter, archives::kAnswerYes, QMessageBox::NoIcon, 2},
      {archives::MessageStyle::YesNo, Qt::Key_Escape, archives::kAnswerNo, QMessageBox::NoIcon, 2},
      {archives::MessageStyle::OkOnly, Qt::Key_Return, archives::kAnswerOk, QMessageBox::NoIcon, 1},
      {archives::MessageStyle::Information, Qt::Key_Return, archives::kAnswerOk, QMessageBox::Information, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.style));
    SCOPED_TRACE(c.key);
    SeenBox seen;
    const std::u16string text = u"Eliminare gli articoli <b>presenti</b>?";
    EXPECT_EQ(AnswerRealBox(text, c.style, c.key, &seen), c.result);
    EXPECT_EQ(seen.title, "Importazione archivi");
    EXPECT_GE(seen.width, app::WidthForTitle(seen.title)) << "the title shows whole";
    EXPECT_EQ(seen.text.toStdU16String(), text);  // shown as plain text
    EXPECT_EQ(seen.icon, c.icon);
    EXPECT_EQ(seen.buttons.size(), c.buttons);
    if (c.style == archives::MessageStyle::YesNo) {
      EXPECT_TRUE(seen.buttons.contains("&Sì")) << seen.buttons.join(",").toStdString();
      EXPECT_TRUE(seen.buttons.contains("&No"));
      EXPECT_EQ(seen.default_button, "&Sì");
    }
  }
  // A text much shorter than the title.
  SeenBox seen;
  AnswerRealBox(u"Fatto.", archives::MessageStyle::OkOnly, Qt::Key_Return, &seen);
  EXPECT_GE(seen.width, app::WidthForTitle(seen.title)) << "the title shows whole";
}

// Qt 6's file dialog takes its type names from a context its Italian catalogue lacks.
TEST(QtTranslationsTest, TheFileDialogNamesAFolderInItalian) {
  app::InstallItalianQtTranslations(testsupport::Application());
  const QAbstractFileIconProvider provider;
  EXPECT_EQ(provider.type(QFileInfo(QDir::tempPath())), "Cartella");
}

}  // namespace
