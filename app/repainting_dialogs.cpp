#include "app/repainting_dialogs.h"

#include <QWidget>
#include <cstdlib>

namespace app {

int RepaintingDialogs::MessageBox(std::u16string_view text, archives::MessageStyle style) {
  const int answer = dialogs_.MessageBox(text, style);
  Repaint();
  return answer;
}

std::u16string RepaintingDialogs::OpenFile(std::u16string_view filter) {
  std::u16string path = dialogs_.OpenFile(filter);
  Repaint();
  return path;
}

void RepaintingDialogs::EndProgram() {
  dialogs_.EndProgram();
  std::abort();  // not reached: EndProgram does not return
}

void RepaintingDialogs::Repaint() {
  if (window_.isVisible()) window_.repaint();
}

}  // namespace app
