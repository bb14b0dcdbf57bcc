// CLabel: a static text with its own colour, font and cursor. While its link
// switch is on, a left click opens its text when that is a web or mail
// address, and tells the owner (clicked); while it is off, clicks do nothing.
#pragma once

#include <QColor>
#include <QCursor>
#include <QFont>
#include <QLabel>
#include <QUrl>
#include <functional>
#include <optional>

namespace stampwise::gui {

class CLabel : public QLabel {
  Q_OBJECT

 public:
  // Opens an address with the desktop (QDesktopServices); tests replace it.
  using Opener = std::function<bool(const QUrl&)>;

  explicit CLabel(QWidget* parent = nullptr);

  void SetTextColor(const QColor& colour);
  void SetFont(const QFont& font);
  void SetFontName(const QString& family);
  void SetFontSize(int pixels);
  void SetFontItalic(bool italic);
  void SetLink(bool link);
  void SetLinkCursor(std::optional<QCursor> cursor);
  void SetText(const QString& text);
  void SetText(int stringId);

  bool Link() const { return link_; }
  QColor TextColor() const { return textColour_; }
  void SetOpener(Opener opener) { opener_ = std::move(opener); }

 signals:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void ApplyLook();

  QColor textColour_;
  QFont font_;
  bool link_ = true;
  std::optional<QCursor> cursor_;
  Opener opener_;
};

}  // namespace stampwise::gui
