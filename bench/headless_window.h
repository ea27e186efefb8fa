// A window without a screen, for the benchmarks that drive an import through the tool's own
// code: the source's name in the text box, table "Prodotti", every picker as SourceColumns
// says, each yes/no question given one answer and every other message box OK.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "archives/window_interface.h"
#include "bench/bench_archives.h"

namespace bench {

class HeadlessWindow : public archives::FormControls, public archives::Dialogs {
 public:
  // `yes_no_answer`: archives::kAnswerYes or kAnswerNo (the purge question, for one).
  HeadlessWindow(std::u16string source, int yes_no_answer) : source_(std::move(source)), answer_(yes_no_answer) {}
  std::u16string Text1() const override { return source_; }
  void SetText1(std::u16string_view) override {}
  std::u16string Combo2Text() const override { return u"Prodotti"; }
  void ClearCombo2() override {}
  void AppendCombo2(std::u16string_view) override {}
  std::u16string PickerText(int picker) const override { return SourceColumns().at(static_cast<size_t>(picker)); }
  void ClearPicker(int) override {}
  void AppendPicker(int, std::u16string_view) override {}
  void EnablePicker(int) override {}
  void SetProgress(float) override {}
  int MessageBox(std::u16string_view, archives::MessageStyle style) override {
    return style == archives::MessageStyle::YesNo ? answer_ : archives::kAnswerOk;
  }
  std::u16string OpenFile(std::u16string_view) override { return source_; }
  void ProcessEvents() override {}
  [[noreturn]] void EndProgram() override { throw archives::ProgramEnded{}; }

 private:
  std::u16string source_;
  int answer_;
};

}  // namespace bench
