#include "app/image_list.h"

#include <QPainter>
#include <QPainterPath>

namespace app {
namespace {

const QColor kTileLight(96, 190, 96);
const QColor kTileDark(24, 110, 36);
const QColor kOutline(16, 64, 20);

QPixmap BlankPicture() {
  QPixmap pixmap(kImageListSize, kImageListSize);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

void DrawGreenTile(QPainter& painter) {
  QLinearGradient shade(0, 2, 0, 30);
  shade.setColorAt(0, kTileLight);
  shade.setColorAt(1, kTileDark);
  painter.setPen(QPen(kOutline, 1));
  painter.setBrush(shade);
  painter.drawRoundedRect(QRectF(2.5, 2.5, 27, 27), 4, 4);
}

// A round yellow badge with a plus, in the bottom right corner.
void DrawPlusBadge(QPainter& painter) {
  painter.setPen(QPen(QColor(120, 90, 0), 1));
  painter.setBrush(QColor(255, 214, 40));
  painter.drawEllipse(QRectF(19.5, 19.5, 11, 11));
  painter.setPen(QPen(QColor(90, 50, 0), 2, Qt::SolidLine, Qt::FlatCap));
  painter.drawLine(QPointF(25, 21.5), QPointF(25, 28.5));
  painter.drawLine(QPointF(21.5, 25), QPointF(28.5, 25));
}

void DrawTick(QPainter& painter) {
  painter.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(Qt::NoBrush);
  painter.drawPolyline(QPolygonF({QPointF(8, 16), QPointF(13, 21), QPointF(23, 9)}));
}

void DrawCross(QPainter& painter) {
  painter.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(10, 10), QPointF(22, 22));
  painter.drawLine(QPointF(22, 10), QPointF(10, 22));
}

// A curved arrow: an arc from the right, bending down to the left, ending in a head.
void DrawCurvedArrow(QPainter& painter, const QColor& colour, const QColor& edge, qreal width) {
  QPainterPath arc;
  arc.moveTo(24, 22);
  arc.cubicTo(26, 8, 12, 6, 9, 15);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(edge, width + 2, Qt::SolidLine, Qt::RoundCap));
  painter.drawPath(arc);
  painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
  painter.drawPath(arc);
  QPolygonF head({QPointF(3, 12), QPointF(13, 12), QPointF(7, 21)});
  painter.setPen(QPen(edge, 1));
  painter.setBrush(colour);
  painter.drawPolygon(head);
}

// The "return" arrow of the close button: down from the top right, then left with a head.
void DrawReturnArrow(QPainter& painter) {
  QPainterPath stem;
  stem.moveTo(23, 8);
  stem.lineTo(23, 16);
  stem.quadTo(23, 20, 19, 20);
  stem.lineTo(13, 20);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPath(stem);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  painter.drawPolygon(QPolygonF({QPointF(6, 20), QPointF(14, 13), QPointF(14, 27)}));
}

// A pen lying from bottom left (nib) to top right, in the given body colour.
void DrawPen(QPainter& painter, const QColor& body) {
  painter.save();
  painter.translate(16, 16);
  painter.rotate(-45);
  painter.setPen(QPen(QColor(40, 40, 40), 1));
  painter.setBrush(body);
  painter.drawRect(QRectF(-6, -3, 17, 6));                     // barrel
  painter.setBrush(QColor(200, 200, 200));
  painter.drawRect(QRectF(11, -3, 3, 6));                      // cap end
  painter.setBrush(QColor(240, 220, 170));
  painter.drawPolygon(QPolygonF({QPointF(-6, -3), QPointF(-6, 3), QPointF(-13, 0)}));  // wood
  painter.setBrush(QColor(30, 30, 30));
  painter.drawPolygon(QPolygonF({QPointF(-10, -1.3), QPointF(-10, 1.3), QPointF(-13, 0)}));  // nib
  painter.restore();
}

void DrawOpenFolder(QPainter& painter) {
  const QColor edge(150, 110, 0);
  painter.setPen(QPen(edge, 1));
  painter.setBrush(QColor(230, 180, 40));
  // Back of the folder with its tab.
  painter.drawPolygon(QPolygonF({QPointF(2.5, 8.5), QPointF(11.5, 8.5), QPointF(13.5, 11.5), QPointF(25.5, 11.5),
                                 QPointF(25.5, 26.5), QPointF(2.5, 26.5)}));
  // A sheet showing inside.
  painter.setBrush(Qt::white);
  painter.drawRect(QRectF(6.5, 9.5, 16, 12));
  // The open front flap, tilted.
  QLinearGradient shade(0, 14, 0, 27);
  shade.setColorAt(0, QColor(255, 226, 110));
  shade.setColorAt(1, QColor(240, 190, 40));
  painter.setBrush(shade);
  painter.drawPolygon(QPolygonF({QPointF(7.5, 14.5), QPointF(30.5, 14.5), QPointF(25.5, 26.5), QPointF(2.5, 26.5)}));
}

void DrawSheetOfPaper(QPainter& painter) {
  painter.setPen(QPen(QColor(90, 90, 90), 1));
  painter.setBrush(Qt::white);
  painter.drawPolygon(QPolygonF({QPointF(5.5, 2.5), QPointF(20.5, 2.5), QPointF(26.5, 8.5), QPointF(26.5, 29.5),
                                 QPointF(5.5, 29.5)}));
  painter.setBrush(QColor(210, 210, 210));
  painter.drawPolygon(QPolygonF({QPointF(20.5, 2.5), QPointF(20.5, 8.5), QPointF(26.5, 8.5)}));
  painter.setPen(QPen(QColor(120, 140, 200), 1));
  for (int y = 12; y <= 24; y += 3) painter.drawLine(QPointF(9, y + 0.5), QPointF(23, y + 0.5));
}

}  // namespace

QPixmap ImageListPicture(int position) {
  if (position < 1 || position > kImageListCount) return QPixmap();
  QPixmap picture = BlankPicture();
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  switch (position) {
    case 1:
      DrawGreenTile(painter);
      DrawTick(painter);
      DrawPlusBadge(painter);
      break;
    case 2:
      DrawGreenTile(painter);
      DrawCross(painter);
      break;
    case 3:
      DrawCurvedArrow(painter, QColor(40, 120, 220), QColor(10, 50, 110), 3);
      DrawPlusBadge(painter);
      break;
    case 4:
      DrawGreenTile(painter);
      DrawReturnArrow(painter);
      break;
    case 5:
      DrawGreenTile(painter);
      DrawPen(painter, QColor(230, 60, 40));
      break;
    case 6:
      DrawGreenTile(painter);
      DrawPen(painter, QColor(40, 90, 220));
      break;
    case 7:
      DrawOpenFolder(painter);
      break;
  }
  return picture;
}

QImage WindowIconImage(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  // The drawing is laid out on the 32-pixel grid; larger sizes scale it.
  painter.scale(size / qreal(kImageListSize), size / qreal(kImageListSize));
  DrawSheetOfPaper(painter);
  painter.translate(2, 2);
  DrawPen(painter, QColor(230, 60, 40));
  painter.end();
  return image;
}

QIcon WindowIcon() { return QIcon(QPixmap::fromImage(WindowIconImage(kImageListSize))); }

}  // namespace app
