// The program's one window, Form1: the three step frames, the progress bar and the two
// toolbars. It builds its controls from the layout tables, hands each event to its handler
// and gives the handlers its controls (FormControls) and dialogs (Dialogs).
#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <memory>

#include "archives/data_binding.h"
#include "archives/window_interface.h"
#include "engine/text/text_locale.h"

class QComboBox;
class QLineEdit;
class QProgressBar;

namespace app {

class Toolbar;

class Form1 : public QWidget, public archives::FormControls {
  Q_OBJECT

 public:
  // `dialogs` replaces the window's own Qt message boxes and file dialog (tests pass scripted
  // ones); it must outlive the window. Null for the real ones.
  explicit Form1(const engine::TextLocale& locale, archives::Dialogs* dialogs = nullptr);
  ~Form1() override;

  // The window's load: binds the destination archive. Call before the window is shown.
  void Load();
  // After the event loop, when the window was closed through its title bar (which runs no
  // handler): saves what was added to the price list, as "Chiudi" does. The exit status.
  int End();

  archives::WindowState& state() { return state_; }

  // FormControls
  std::u16string Text1() const override;
  void SetText1(std::u16string_view text) override;
  std::u16string Combo2Text() const override;
  void ClearCombo2() override;
  void AppendCombo2(std::u16string_view entry) override;
  std::u16string PickerText(int picker) const override;
  void ClearPicker(int picker) override;
  void AppendPicker(int picker, std::u16string_view entry) override;
  void EnablePicker(int picker) override;
  void SetProgress(float value) override;

 private:
  void BuildStep1();
  void BuildStep2();
  void BuildStep3();
  void BuildBottom();
  void SetTabOrder();
  void CentreOnScreen();

  // The events, each handed to its handler.
  void Combo2Click();
  void Toolbar1ButtonClick(const QString& key);
  void Toolbar4ButtonClick(const QString& key);
  void RunEventHandler(const std::function<void()>& handler);

  QComboBox* Picker(int picker) const;

  archives::WindowState state_;
  std::unique_ptr<archives::Dialogs> own_dialogs_;
  std::unique_ptr<archives::Dialogs> repainting_dialogs_;
  archives::Dialogs* dialogs_;  // what the handlers are given: repaints after each modal dialog

  QWidget* frame2_ = nullptr;
  QWidget* frame1_ = nullptr;
  QWidget* frame3_ = nullptr;
  Toolbar* toolbar1_ = nullptr;
  Toolbar* toolbar4_ = nullptr;
  QLineEdit* text1_ = nullptr;
  QComboBox* combo2_ = nullptr;
  std::array<QComboBox*, archives::kPickerCount> combo6_{};
  std::array<std::u16string, archives::kPickerCount> picker_texts_;  // each picker's current text
  QProgressBar* progress_bar1_ = nullptr;
};

}  // namespace app
