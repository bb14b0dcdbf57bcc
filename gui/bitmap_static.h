// CBitmapStatic: shows a bitmap whose white pixels let the dialog background
// through, drawn off screen and copied to the control in one piece.
#pragma once

#include <QImage>
#include <QWidget>

namespace stampwise::gui {

class CBitmapStatic : public QWidget {
 public:
  explicit CBitmapStatic(QImage bitmap, QWidget* parent = nullptr);

  QSize sizeHint() const override { return bitmap_.size(); }
  // The bitmap with white made transparent.
  const QPixmap& Transparent() const { return transparent_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage bitmap_;
  QPixmap transparent_;
};

// The program's logo: a tag on white.
QImage StampwiseLogo();

}  // namespace stampwise::gui
