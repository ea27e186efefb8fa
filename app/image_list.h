// The pictures of the image list ImageList4 (32 x 32, addressed by position 1 to 7) and the
// window icon, drawn at start so that no picture files travel with the program.
#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace app {

inline constexpr int kImageListSize = 32;
inline constexpr int kImageListCount = 7;

// Position 1 to 7: 1 green tile with a tick and a plus badge, 2 green tile with a cross,
// 3 curved arrow with a plus badge, 4 green tile with a return arrow, 5 and 6 green tiles
// with a pen, 7 open yellow folder. A null pixmap for any other position.
QPixmap ImageListPicture(int position);

// A sheet of paper with a pen, `size` pixels square: the window's icon is the 32-pixel one,
// the program's menu entry uses the same picture at other sizes (app/icon/).
QImage WindowIconImage(int size);
QIcon WindowIcon();

}  // namespace app
