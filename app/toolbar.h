// A toolbar of push buttons, each showing a picture and its caption side by side, laid out
// left to right from the toolbar's top left corner. A press reports the button's key.
#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

class QToolButton;

namespace app {

class Toolbar : public QWidget {
  Q_OBJECT

 public:
  Toolbar(const QString& name, const QRect& geometry, QWidget* parent);

  // Appends a button of the given size in pixels; its object name is "<toolbar>_<key>".
  QToolButton* AddButton(const QString& key, const QString& caption, const QPixmap& picture, QSize size);

 signals:
  void ButtonClick(const QString& key);

 private:
  int next_left_ = 0;
};

}  // namespace app
