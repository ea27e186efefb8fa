#include "app/toolbar.h"

#include <QToolButton>

namespace app {

Toolbar::Toolbar(const QString& name, const QRect& geometry, QWidget* parent) : QWidget(parent) {
  setObjectName(name);
  setGeometry(geometry);
}

QToolButton* Toolbar::AddButton(const QString& key, const QString& caption, const QPixmap& picture, QSize size) {
  auto* button = new QToolButton(this);
  button->setObjectName(objectName() + "_" + key);
  button->setText(caption);
  button->setIcon(QIcon(picture));
  button->setIconSize(picture.size());
  button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  button->setAutoRaise(false);  // ordinary push buttons, always drawn raised
  // The toolbar is a little taller than its buttons: centre them vertically.
  button->setGeometry(next_left_, (height() - size.height()) / 2, size.width(), size.height());
  next_left_ += size.width();
  connect(button, &QToolButton::clicked, this, [this, key] { emit ButtonClick(key); });
  return button;
}

}  // namespace app
