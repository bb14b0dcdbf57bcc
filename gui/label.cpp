#include "gui/label.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMouseEvent>

#include "gui/texts.h"

namespace stampwise::gui {

CLabel::CLabel(QWidget* parent)
    : QLabel(parent),
      textColour_(QApplication::palette().color(QPalette::WindowText)),
      font_(QApplication::font()),
      opener_([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {
  setAutoFillBackground(true);
  ApplyLook();
}

void CLabel::ApplyLook() {
  QPalette look = palette();
  look.setColor(QPalette::Window, QApplication::palette().color(QPalette::Button));
  look.setColor(QPalette::WindowText, textColour_);
  setPalette(look);
  QLabel::setFont(font_);
  if (cursor_) {
    setCursor(*cursor_);
  } else {
    unsetCursor();
  }
  update();
}

void CLabel::SetTextColor(const QColor& colour) {
  textColour_ = colour;
  ApplyLook();
}

void CLabel::SetFont(const QFont& font) {
  font_ = font;
  ApplyLook();
}

void CLabel::SetFontName(const QString& family) {
  font_.setFamily(family);
  ApplyLook();
}

void CLabel::SetFontSize(int pixels) {
  font_.setPixelSize(pixels);
  ApplyLook();
}

void CLabel::SetFontItalic(bool italic) {
  font_.setItalic(italic);
  ApplyLook();
}

void CLabel::SetLink(bool link) { link_ = link; }

void CLabel::SetLinkCursor(std::optional<QCursor> cursor) {
  cursor_ = std::move(cursor);
  ApplyLook();
}

void CLabel::SetText(const QString& text) {
  setText(text);
  repaint();
}

void CLabel::SetText(int stringId) { SetText(TableText(stringId)); }

void CLabel::mousePressEvent(QMouseEvent* event) {
  QLabel::mousePressEvent(event);
  if (event->button() != Qt::LeftButton || !link_) return;
  // Only addresses go to the desktop: a status line is no document to open.
  const QUrl url(text(), QUrl::StrictMode);
  const QString scheme = url.scheme();
  if (url.isValid() && (scheme == QLatin1String("https") || scheme == QLatin1String("mailto"))) opener_(url);
  emit clicked();
}

}  // namespace stampwise::gui
