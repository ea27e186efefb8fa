// Scripted stand-ins for the window: controls kept in plain members, dialogs answered from
// queues, and every message shown recorded.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "archives/window_interface.h"

namespace testsupport {

struct ShownMessage {
  std::u16string text;
  archives::MessageStyle style;
};

class FakeDialogs : public archives::Dialogs {
 public:
  std::deque<std::u16string> files_to_choose;
  std::deque<int> answers;  // for Yes/No boxes
  std::vector<ShownMessage> shown;
  int events_processed = 0;

  int MessageBox(std::u16string_view text, archives::MessageStyle style) override {
    shown.push_back({std::u16string(text), style});
    if (style != archives::MessageStyle::YesNo) return archives::kAnswerOk;
    if (answers.empty()) return archives::kAnswerNo;
    int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::u16string OpenFile(std::u16string_view) override {
    if (files_to_choose.empty()) return u"";
    std::u16string file = files_to_choose.front();
    files_to_choose.pop_front();
    return file;
  }
  void ProcessEvents() override { ++events_processed; }
  [[noreturn]] void EndProgram() override { throw archives::ProgramEnded{}; }
};

class FakeForm : public archives::FormControls {
 public:
  std::u16string text1;
  std::vector<std::u16string> combo2;
  std::u16string combo2_text;
  std::vector<std::u16string> pickers[7];
  std::u16string picker_text[7];
  bool picker_enabled[7] = {};
  std::vector<float> progress;

  std::u16string Text1() const override { return text1; }
  void SetText1(std::u16string_view text) override { text1 = text; }
  std::u16string Combo2Text() const override { return combo2_text; }
  void ClearCombo2() override { combo2.clear(), combo2_text.clear(); }
  void AppendCombo2(std::u16string_view entry) override { combo2.emplace_back(entry); }
  std::u16string PickerText(int k) const override { return picker_text[k]; }
  void ClearPicker(int k) override { pickers[k].clear(), picker_text[k].clear(); }
  void AppendPicker(int k, std::u16string_view entry) override { pickers[k].emplace_back(entry); }
  void EnablePicker(int k) override { picker_enabled[k] = true; }
  void SetProgress(float value) override { progress.push_back(value); }
};

}  // namespace testsupport
