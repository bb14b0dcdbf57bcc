#include "gui/bitmap_static.h"

#include <QBitmap>
#include <QPainter>
#include <QPainterPath>

namespace stampwise::gui {

CBitmapStatic::CBitmapStatic(QImage bitmap, QWidget* parent)
    : QWidget(parent), bitmap_(std::move(bitmap)), transparent_(QPixmap::fromImage(bitmap_)) {
  // White is the transparent colour: the mask keeps every other pixel.
  transparent_.setMask(QBitmap::fromImage(bitmap_.createMaskFromColor(QColor(Qt::white).rgb(), Qt::MaskInColor)));
  setFixedSize(bitmap_.size());
}

void CBitmapStatic::paintEvent(QPaintEvent*) {
  // Background under the control and the masked bitmap joined off screen,
  // then copied in one piece, so nothing flickers.
  QPixmap composed(size());
  composed.fill(palette().color(backgroundRole()));
  {
    QPainter off(&composed);
    off.drawPixmap(0, 0, transparent_);
  }
  QPainter(this).drawPixmap(0, 0, composed);
}

QImage StampwiseLogo() {
  QImage logo(64, 64, QImage::Format_RGB32);
  logo.fill(Qt::white);
  QPainter painter(&logo);
  painter.setRenderHint(QPainter::Antialiasing, false);
  // A tag with its punched hole and an antenna loop.
  QPainterPath tag;
  tag.moveTo(6, 14);
  tag.lineTo(44, 14);
  tag.lineTo(58, 32);
  tag.lineTo(44, 50);
  tag.lineTo(6, 50);
  tag.closeSubpath();
  painter.fillPath(tag, QColor(0, 90, 160));
  painter.setBrush(Qt::white);
  painter.setPen(Qt::NoPen);
  painter.drawEllipse(QPoint(46, 32), 4, 4);
  painter.setPen(QPen(QColor(250, 190, 40), 3));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(12, 21, 22, 22);
  painter.drawRect(18, 27, 10, 10);
  return logo;
}

}  // namespace stampwise::gui
