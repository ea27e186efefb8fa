#include "app/repainting_dialogs.h"

#include <QApplication>
#include <QCursor>
#include <QWidget>
#include <cstdlib>

namespace app {

class RepaintingDialogs::UsualCursor {
 public:
  explicit UsualCursor(const RepaintingDialogs& dialogs) : busy_(dialogs.busy_depth_ > 0) {
    if (busy_) QApplication::restoreOverrideCursor();
  }
  ~UsualCursor() {
    if (busy_) QApplication::setOverrideCursor(Qt::WaitCursor);
  }
  UsualCursor(const UsualCursor&) = delete;
  UsualCursor& operator=(const UsualCursor&) = delete;

 private:
  bool busy_;
};

RepaintingDialogs::~RepaintingDialogs() {
  // A window that goes while busy (the program ended inside a handler) gives the pointer back.
  if (busy_depth_ > 0) QApplication::restoreOverrideCursor();
}

int RepaintingDialogs::MessageBox(std::u16string_view text, archives::MessageStyle style) {
  int answer = 0;
  {
    UsualCursor usual(*this);
    answer = dialogs_.MessageBox(text, style);
  }
  Repaint();
  return answer;
}

std::u16string RepaintingDialogs::OpenFile(std::u16string_view filter) {
  std::u16string path;
  {
    UsualCursor usual(*this);
    path = dialogs_.OpenFile(filter);
  }
  Repaint();
  return path;
}

void RepaintingDialogs::EndProgram() {
  dialogs_.EndProgram();
  std::abort();  // not reached: EndProgram does not return
}

void RepaintingDialogs::BeginBusy() {
  if (busy_depth_++ == 0) {
    // Set on the application, so that it shows wherever the pointer is over the program; the
    // platform changes the pointer at once, without the event loop.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Repaint();
  }
  dialogs_.BeginBusy();
}

void RepaintingDialogs::EndBusy() {
  dialogs_.EndBusy();
  if (busy_depth_ > 0 && --busy_depth_ == 0) QApplication::restoreOverrideCursor();
}

void RepaintingDialogs::StillBusy() {
  // The engine calls this every few milliseconds while it waits; drawing the whole window
  // that often would only cost time.
  constexpr qint64 kPaintEveryMs = 100;
  if (since_painted_.isValid() && since_painted_.elapsed() < kPaintEveryMs) return;
  Repaint();
  dialogs_.StillBusy();
}

void RepaintingDialogs::Repaint() {
  since_painted_.start();
  if (window_.isVisible()) window_.repaint();
}

}  // namespace app
