#include "app/qt_dialogs.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <cstdio>
#include <cstdlib>

#include "archives/handlers.h"
#include "archives/italian_texts.h"

namespace app {

QString ToQString(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

QString QtFileFilter(std::u16string_view filter) {
  const QStringList parts = ToQString(filter).split(u'|');
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString description = parts[i];
    const QString listed = "(" + parts[i + 1] + ")";
    const QString patterns = QString(parts[i + 1]).replace(u';', u' ');
    // Qt takes the patterns from the last brackets of an entry: a description that already
    // shows its patterns there keeps them once, in Qt's spelling.
    if (description.endsWith(listed)) description.chop(listed.size());
    if (description.endsWith("(" + patterns + ")")) description.chop(patterns.size() + 2);
    entries << description.trimmed() + " (" + patterns + ")";
  }
  return entries.join(";;");
}

int WidthForTitle(const QString& title) {
  // The title bar's font is the window manager's; the application's title-bar font is the
  // closest guess Qt has. Its icon and three buttons take about five lines' height.
  const QFontMetrics metrics(QApplication::font("QMdiSubWindowTitleBar"));
  return metrics.horizontalAdvance(title) + 5 * metrics.height() + 2 * metrics.averageCharWidth();
}

namespace {

// A box sized to a short text would cut its title ("Impo…chivi"): QMessageBox sizes itself
// from its grid's minimum width, so a spacer there asks for the title's. Added once the icon
// and the buttons are set, since setting them builds the grid anew.
void WidenForTitle(QMessageBox& box) {
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (!grid) return;
  grid->addItem(new QSpacerItem(WidthForTitle(box.windowTitle()), 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                grid->rowCount(), 0, 1, grid->columnCount());
}

}  // namespace

int QtDialogs::MessageBox(std::u16string_view text, archives::MessageStyle style) {
  QMessageBox box(parent_);
  box.setWindowTitle(ToQString(archives::kApplicationTitle));
  box.setTextFormat(Qt::PlainText);  // messages quote names and paths, never markup
  box.setText(ToQString(text));
  switch (style) {
    case archives::MessageStyle::YesNo: {
      box.setIcon(QMessageBox::NoIcon);
      QPushButton* yes = box.addButton(QMessageBox::Yes);
      box.addButton(QMessageBox::No);
      box.setDefaultButton(yes);  // Enter answers Yes
      WidenForTitle(box);
      box.exec();
      // Escape and the close box count as No: the caller only ever sees Yes or No.
      return box.clickedButton() == yes ? archives::kAnswerYes : archives::kAnswerNo;
    }
    case archives::MessageStyle::Information:
      box.setIcon(QMessageBox::Information);
      break;
    case archives::MessageStyle::OkOnly:
      box.setIcon(QMessageBox::NoIcon);
      break;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.setDefaultButton(QMessageBox::Ok);
  WidenForTitle(box);
  box.exec();
  return archives::kAnswerOk;
}

std::u16string QtDialogs::OpenFile(std::u16string_view filter) {
  const QString qt_filter = QtFileFilter(filter);
  QString selected = qt_filter.section(";;", 0, 0);  // the first entry is selected at opening
  const QString path = QFileDialog::getOpenFileName(parent_, QString(), QString(), qt_filter, &selected);
  return path.toStdU16String();
}

void QtDialogs::ProcessEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void QtDialogs::EndProgram() {
  // What was written to the price list must reach the disk, or the user hear that it did
  // not; after that nothing more runs: no handler, no event, no destructor.
  const int status = archives::CloseAtEnd(state_, *this);
  std::fflush(nullptr);
  std::_Exit(status);
}

}  // namespace app
