#include "gui/limited_fields.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextCursor>
#include <algorithm>

namespace stampwise::gui {

namespace {
constexpr int kQtMaxLength = 32767;  // QLineEdit's default: no limit
}

LimitedLineEdit::LimitedLineEdit() {
  connect(this, &QLineEdit::textChanged, this, [this] { FollowText(); });
}

void LimitedLineEdit::SetTypingLimit(int limit) {
  limit_ = limit;
  FollowText();
}

void LimitedLineEdit::ShowWholeText(const QString& text) {
  // Make room first: setText itself cuts at the current maximum.
  setMaxLength(std::max<qsizetype>(maxLength(), text.size()));
  setText(text);
  FollowText();
}

// The maximum never drops below the text there: typing cannot grow an
// over-long value, deleting shrinks it, nothing cuts it.
void LimitedLineEdit::FollowText() {
  const int limit = limit_ > 0 ? limit_ : kQtMaxLength;
  setMaxLength(static_cast<int>(std::max<qsizetype>(limit, text().size())));
}

void LimitedPlainTextEdit::SetTypingLimit(int limit) { limit_ = limit; }

int LimitedPlainTextEdit::Room() const {
  if (limit_ <= 0) return kQtMaxLength;
  const QTextCursor cursor = textCursor();
  const qsizetype selected = cursor.selectionEnd() - cursor.selectionStart();
  const qsizetype length = toPlainText().size();
  return static_cast<int>(std::max<qsizetype>(0, limit_ - (length - selected)));
}

void LimitedPlainTextEdit::keyPressEvent(QKeyEvent* event) {
  const QString typed = event->text();
  const bool inserts = !typed.isEmpty() && (typed.at(0).isPrint() || typed == QStringLiteral("\r"));
  if (inserts && !event->matches(QKeySequence::Paste) && Room() < typed.size()) {
    event->accept();  // no room: the key does nothing, as in a full single-line field
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

void LimitedPlainTextEdit::insertFromMimeData(const QMimeData* source) {
  if (limit_ <= 0 || source == nullptr || !source->hasText()) {
    QPlainTextEdit::insertFromMimeData(source);
    return;
  }
  // A paste takes what fits, as a single-line field does.
  textCursor().insertText(source->text().left(Room()));
  ensureCursorVisible();
}

}  // namespace stampwise::gui
