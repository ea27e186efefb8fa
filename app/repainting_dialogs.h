// The window's dialogs, repainting the window as soon as a message box or the file dialog
// closes. A handler goes on after a box without returning to the event loop (the import run
// takes no window events until it ends), so the window's own expose events wait until the
// handler returns, and the image of the closed box would stay on the window until then.
// The repaint draws the window from its widgets at once and delivers no event: no input is
// taken and no handler runs.
// They also show when the window is busy (BeginBusy to EndBusy): the pointer turns to the
// wait cursor over the whole program, and the window is painted as it stands then, since no
// paint event reaches it until the handler returns. A box opened meanwhile asks for the
// user, so the usual pointer comes back while it is up. While the engine waits for a file
// another program holds, the window is drawn again a few times a second, so that it never
// shows what covered it meanwhile.
#pragma once

#include <QElapsedTimer>

#include "archives/window_interface.h"

class QWidget;

namespace app {

class RepaintingDialogs : public archives::Dialogs {
 public:
  // `dialogs` does the work; `window` is repainted after each of its modal dialogs. Both
  // must outlive this.
  RepaintingDialogs(archives::Dialogs& dialogs, QWidget& window) : dialogs_(dialogs), window_(window) {}
  ~RepaintingDialogs() override;

  int MessageBox(std::u16string_view text, archives::MessageStyle style) override;
  std::u16string OpenFile(std::u16string_view filter) override;
  void ProcessEvents() override { dialogs_.ProcessEvents(); }
  [[noreturn]] void EndProgram() override;
  void BeginBusy() override;
  void EndBusy() override;
  void StillBusy() override;

 private:
  // The usual pointer while a modal dialog is up, when the window is busy.
  class UsualCursor;

  void Repaint();

  archives::Dialogs& dialogs_;
  QWidget& window_;
  int busy_depth_ = 0;
  QElapsedTimer since_painted_;  // while busy: since the window was last drawn
};

}  // namespace app
