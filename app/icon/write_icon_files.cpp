// Writes the program's icon as PNG files for its menu entry, drawn by the same code as the
// window's icon: for each size N given, OUT_DIR/NxN/apps/importazione-archivi.png (the
// layout of an icon theme such as hicolor).
//   write-icon-files OUT_DIR 32 128
#include <QDir>
#include <QImage>
#include <QString>
#include <cstdio>

#include "app/image_list.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s OUT_DIR SIZE...\n", argv[0]);
    return 2;
  }
  const QString out_dir = QString::fromLocal8Bit(argv[1]);
  for (int i = 2; i < argc; ++i) {
    bool number = false;
    const int size = QString::fromLatin1(argv[i]).toInt(&number);
    if (!number || size < 16 || size > 1024) {
      std::fprintf(stderr, "not an icon size: %s\n", argv[i]);
      return 2;
    }
    const QString folder = QString("%1/%2x%2/apps").arg(out_dir).arg(size);
    const QString file = folder + "/importazione-archivi.png";
    if (!QDir().mkpath(folder) || !app::WindowIconImage(size).save(file, "PNG")) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}
