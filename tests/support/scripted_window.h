// Scripted stand-ins for the window the handlers talk to: controls kept in plain members
// (reading a named control can be made to fail), message boxes recorded and answered from a
// script, file dialogs answered from a queue, progress values and event passes recorded.
#pragma once

#include <array>
#include <cstdlib>
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

class ScriptedDialogs : public archives::Dialogs {
 public:
  std::vector<ShownMessage> messages;
  std::deque<int> answers;  // for Yes/No boxes, in order; an unscripted question is a failure
  std::deque<std::u16string> files_to_choose;  // the file dialog's answers; "" (cancel) when none is left
  std::vector<std::u16string> filters;         // each file dialog's filter
  int processed_events = 0;
  int end_program_calls = 0;
  int busy_depth = 0;        // BeginBusy calls not yet ended
  int busy_periods = 0;      // times the window became busy (depth 0 to 1)
  std::vector<int> busy_depth_at_message;  // busy_depth as each message box was shown
  std::function<void()> on_message;         // runs as each message box is shown, once it is recorded
  std::function<void()> on_process_events;  // what the queued window events do
  std::function<void()> on_busy;            // runs as the window becomes busy

  std::vector<std::u16string> MessageTexts() const {
    std::vector<std::u16string> texts;
    for (const auto& m : messages) texts.push_back(m.text);
    return texts;
  }

  int MessageBox(std::u16string_view text, archives::MessageStyle style) override {
    messages.push_back({std::u16string(text), style});
    busy_depth_at_message.push_back(busy_depth);
    if (on_message) on_message();
    if (style != archives::MessageStyle::YesNo) return archives::kAnswerOk;
    if (answers.empty()) throw std::logic_error("a question the test did not expect");
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::u16string OpenFile(std::u16string_view filter) override {
    filters.emplace_back(filter);
    if (files_to_choose.empty()) return u"";
    std::u16string file = files_to_choose.front();
    files_to_choose.pop_front();
    return file;
  }
  void ProcessEvents() override {
    ++processed_events;
    if (on_process_events) on_process_events();
  }
  [[noreturn]] void EndProgram() override {
    ++end_program_calls;
    throw archives::ProgramEnded{};
  }
  void BeginBusy() override {
    if (busy_depth++ == 0) {
      ++busy_periods;
      if (on_busy) on_busy();
    }
  }
  void EndBusy() override {
    // An end without its beginning would hide a handler that leaves the window busy.
    if (busy_depth == 0) std::abort();
    --busy_depth;
  }
};

class ScriptedForm : public archives::FormControls {
 public:
  std::u16string text1;
  std::u16string combo2;  // the chosen entry
  std::vector<std::u16string> combo2_entries;
  std::array<std::u16string, 7> pickers;  // each picker's chosen entry
  std::array<std::vector<std::u16string>, 7> picker_entries;
  std::array<bool, 7> picker_enabled{};
  // Controls whose reading fails: "Text1", "Combo2", "Picker0" ... "Picker6".
  std::set<std::string> failing_controls;
  std::vector<float> progress;
  std::function<void(float)> on_progress;  // runs as the bar takes each value

  std::u16string Text1() const override { return Read("Text1", text1); }
  void SetText1(std::u16string_view text) override { text1 = text; }
  std::u16string Combo2Text() const override { return Read("Combo2", combo2); }
  void ClearCombo2() override { combo2_entries.clear(), combo2.clear(); }
  void AppendCombo2(std::u16string_view entry) override { combo2_entries.emplace_back(entry); }
  std::u16string PickerText(int picker) const override {
    return Read("Picker" + std::to_string(picker), pickers.at(static_cast<size_t>(picker)));
  }
  void ClearPicker(int picker) override {
    picker_entries.at(static_cast<size_t>(picker)).clear();
    pickers.at(static_cast<size_t>(picker)).clear();
  }
  void AppendPicker(int picker, std::u16string_view entry) override {
    picker_entries.at(static_cast<size_t>(picker)).emplace_back(entry);
  }
  void EnablePicker(int picker) override { picker_enabled.at(static_cast<size_t>(picker)) = true; }
  void SetProgress(float value) override {
    progress.push_back(value);
    if (on_progress) on_progress(value);
  }

 private:
  std::u16string Read(const std::string& control, const std::u16string& text) const {
    if (failing_controls.count(control)) throw std::runtime_error(control + " cannot be read");
    return text;
  }
};

// Both at once, as the window is.
class ScriptedWindow : public ScriptedForm, public ScriptedDialogs {};

}  // namespace testsupport
