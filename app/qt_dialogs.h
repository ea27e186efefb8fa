// The window operations the handlers use, done with Qt: the three kinds of message box, the
// file-open dialog, one pass over pending events, and the immediate end of the program.
#pragma once

#include <QString>
#include <string_view>

#include "archives/data_binding.h"
#include "archives/window_interface.h"

class QWidget;

namespace app {

// "Description|pattern|Description|pattern" to Qt's "Description (pattern);;...". Patterns
// listed with ';' become space separated; a description that already ends with its pattern
// in brackets is kept as it is.
QString QtFileFilter(std::u16string_view filter);

QString ToQString(std::u16string_view text);

// The width a window needs to show `title` whole in its title bar, with room for the window
// manager's icon and buttons beside it.
int WidthForTitle(const QString& title);

class QtDialogs : public archives::Dialogs {
 public:
  // The boxes are modal over `parent`; `state` is the window's, closed by EndProgram.
  QtDialogs(QWidget* parent, archives::WindowState& state) : parent_(parent), state_(state) {}

  int MessageBox(std::u16string_view text, archives::MessageStyle style) override;
  std::u16string OpenFile(std::u16string_view filter) override;
  void ProcessEvents() override;
  [[noreturn]] void EndProgram() override;

 private:
  QWidget* parent_;
  archives::WindowState& state_;
};

}  // namespace app
