// What the window tests share: the one QApplication, scripted dialogs that record what the
// handlers asked for, and a watchdog that catches any real modal window.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "archives/window_interface.h"

namespace apptest {

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

class FakeDialogs : public archives::Dialogs {
 public:
  struct Message {
    std::u16string text;
    archives::MessageStyle style;
  };

  int MessageBox(std::u16string_view text, archives::MessageStyle style) override {
    if (on_message) on_message();
    messages.push_back({std::u16string(text), style});
    if (style != archives::MessageStyle::YesNo) return archives::kAnswerOk;
    if (yes_no_answers.empty()) return archives::kAnswerNo;
    const int answer = yes_no_answers.front();
    yes_no_answers.pop_front();
    return answer;
  }

  std::u16string OpenFile(std::u16string_view filter) override {
    filters.emplace_back(filter);
    if (chosen_files.empty()) return u"";
    std::u16string file = chosen_files.front();
    chosen_files.pop_front();
    return file;
  }

  void ProcessEvents() override { ++process_events_calls; }

  [[noreturn]] void EndProgram() override {
    ++end_program_calls;
    throw archives::ProgramEnded{};
  }

  std::vector<Message> messages;
  std::deque<int> yes_no_answers;
  std::deque<std::u16string> chosen_files;
  std::vector<std::u16string> filters;
  std::function<void()> on_message;  // called as each box comes up, before it is recorded
  int process_events_calls = 0;
  int end_program_calls = 0;
};

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

}  // namespace apptest
