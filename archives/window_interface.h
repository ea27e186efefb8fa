// What the handlers see of the window: its controls and its dialogs. The window implements
// both; tests replace them with scripted fakes, so no handler ever touches a widget.
#pragma once

#include <string>
#include <string_view>

#include "engine/database/while_waiting.h"

namespace archives {

// Message box kinds, with the style values the program has always used.
enum class MessageStyle { OkOnly = 0, YesNo = 4, Information = 64 };
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;
inline constexpr int kAnswerOk = 1;

// Thrown by Dialogs::EndProgram where the program cannot simply exit (tests). It is no
// std::exception, so that no failure-swallowing step catches it.
struct ProgramEnded {};

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // Modal; returns kAnswerYes / kAnswerNo for YesNo boxes, kAnswerOk otherwise.
  virtual int MessageBox(std::u16string_view text, MessageStyle style) = 0;
  // Modal file-open dialog with the given filter ("Description|pattern|..."), first entry
  // selected. Returns the full path, or the empty text when nothing was chosen.
  virtual std::u16string OpenFile(std::u16string_view filter) = 0;
  // Handles every pending window event once.
  virtual void ProcessEvents() = 0;
  // Ends the program at once. Does not return.
  [[noreturn]] virtual void EndProgram() = 0;
  // From BeginBusy to its EndBusy the window shows that it is busy: a handler may wait
  // there for a file another program holds (the engine waits up to 10 s for its locks), or
  // walk the source, and takes no input meanwhile. Pairs may nest; a message box shown
  // inside one asks for the user all the same. EndBusy never throws. A window without a
  // pointer (the command-line tool) has nothing to show.
  virtual void BeginBusy() {}
  virtual void EndBusy() {}
  // Called again and again while busy and waiting in the engine for a file another program
  // holds, where no event reaches the window: it draws itself as it stands, taking no input.
  virtual void StillBusy() {}
};

// The window busy for as long as this lives (Dialogs::BeginBusy), however the scope ends,
// and kept drawn while the engine waits meanwhile.
class BusyWindow {
 public:
  explicit BusyWindow(Dialogs& dialogs) : dialogs_(dialogs), waiting_([this] { dialogs_.StillBusy(); }) {
    dialogs_.BeginBusy();
  }
  ~BusyWindow() { dialogs_.EndBusy(); }
  BusyWindow(const BusyWindow&) = delete;
  BusyWindow& operator=(const BusyWindow&) = delete;

 private:
  Dialogs& dialogs_;
  engine::WhileWaiting waiting_;
};

// The column pickers (Combo6), one per column of the destination the import can fill.
inline constexpr int kPickerCount = 7;

// The controls the handlers read and write. Pickers are addressed 0 to kPickerCount - 1.
class FormControls {
 public:
  virtual ~FormControls() = default;
  virtual std::u16string Text1() const = 0;
  virtual void SetText1(std::u16string_view text) = 0;

  virtual std::u16string Combo2Text() const = 0;
  virtual void ClearCombo2() = 0;
  virtual void AppendCombo2(std::u16string_view entry) = 0;

  virtual std::u16string PickerText(int picker) const = 0;
  virtual void ClearPicker(int picker) = 0;
  virtual void AppendPicker(int picker, std::u16string_view entry) = 0;
  virtual void EnablePicker(int picker) = 0;

  // Progress bar value, 0 to 100.
  virtual void SetProgress(float value) = 0;
};

}  // namespace archives
