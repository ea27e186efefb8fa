// What the window tests share: the one QApplication, a click on a toolbar button, and a
// watchdog that catches any real modal window. The scripted dialogs are in tests/support.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QString>
#include <QTimer>
#include <QToolButton>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/scripted_window.h"

namespace testsupport {

inline QApplication& Application() {
  static int argc = 1;
  static char name[] = "app_tests";
  static char* argv[] = {name, nullptr};
  static auto* application = new QApplication(argc, argv);
  return *application;
}

inline std::string Printable(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())).toStdString();
}

// Clicks the toolbar button with that object name ("Toolbar4_Importa").
inline void Press(QWidget& window, const char* button_name) {
  auto* button = window.findChild<QToolButton*>(button_name);
  ASSERT_NE(button, nullptr) << button_name;
  button->click();
}

// While it lives, any real modal window (message box, file dialog) that opens is recorded
// and rejected at once, so that a test fails instead of waiting for a user.
class ModalWatchdog {
 public:
  ModalWatchdog() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal) return;
      seen_.push_back(QString::fromLatin1(modal->metaObject()->className()).toStdString());
      if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        dialog->reject();
      } else {
        modal->close();
      }
    });
    timer_.start(5);
  }
  const std::vector<std::string>& seen() const { return seen_; }

 private:
  QTimer timer_;
  std::vector<std::string> seen_;
};

}  // namespace testsupport
