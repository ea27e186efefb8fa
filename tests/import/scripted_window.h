// A window for tests of the import: controls set by the test, message boxes recorded and
// answered from a script, progress values recorded, failures injected on named controls.
#pragma once

#include <array>
#include <deque>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "archives/window_interface.h"

namespace testsupport {

struct ShownMessage {
  std::u16string text;
  archives::MessageStyle style;
  bool operator==(const ShownMessage&) const = default;
};

class ScriptedWindow : public archives::FormControls, public archives::Dialogs {
 public:
  std::u16string text1;
  std::u16string combo2;
  std::array<std::u16string, 7> pickers;
  // Controls whose reading fails: "Text1", "Combo2", "Picker0" ... "Picker6".
  std::set<std::string> failing_controls;

  std::deque<int> answers;  // for Yes/No boxes, in order; an unscripted question is a failure
  std::vector<ShownMessage> messages;
  std::vector<float> progress;
  int processed_events = 0;
  std::function<void()> on_process_events;  // what the queued window events do
  std::function<void()> on_message;         // runs as each message box is shown
  std::function<void(float)> on_progress;   // runs as the bar takes each value

  std::vector<std::u16string> MessageTexts() const {
    std::vector<std::u16string> texts;
    for (const auto& m : messages) texts.push_back(m.text);
    return texts;
  }

  std::u16string Text1() const override { return Read("Text1", text1); }
  void SetText1(std::u16string_view text) override { text1 = text; }
  std::u16string Combo2Text() const override { return Read("Combo2", combo2); }
  void ClearCombo2() override { combo2.clear(); }
  void AppendCombo2(std::u16string_view) override {}
  std::u16string PickerText(int picker) const override {
    return Read("Picker" + std::to_string(picker), pickers.at(picker));
  }
  void ClearPicker(int picker) override { pickers.at(picker).clear(); }
  void AppendPicker(int, std::u16string_view) override {}
  void EnablePicker(int) override {}
  void SetProgress(float value) override {
    progress.push_back(value);
    if (on_progress) on_progress(value);
  }

  int MessageBox(std::u16string_view text, archives::MessageStyle style) override {
    messages.push_back({std::u16string(text), style});
    if (on_message) on_message();
    if (style != archives::MessageStyle::YesNo) return archives::kAnswerOk;
    if (answers.empty()) throw std::logic_error("a question the test did not expect");
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::u16string OpenFile(std::u16string_view) override { return {}; }
  void ProcessEvents() override {
    ++processed_events;
    if (on_process_events) on_process_events();
  }
  [[noreturn]] void EndProgram() override { throw archives::ProgramEnded{}; }

 private:
  std::u16string Read(const std::string& control, const std::u16string& text) const {
    if (failing_controls.count(control)) throw std::runtime_error(control + " cannot be read");
    return text;
  }
};

}  // namespace testsupport
