// Write fields whose character limit stops typing but never cuts a value.
// QLineEdit's own limit truncates text that is already there (a stored value,
// a loaded record, a length made smaller), which would change the operator's
// value without a word; here an over-long value stays whole, the write
// refuses it with its message, and the operator shortens it.
#pragma once

#include <QLineEdit>
#include <QPlainTextEdit>

namespace stampwise::gui {

class LimitedLineEdit : public QLineEdit {
 public:
  LimitedLineEdit();
  // 0: no limit of our own.
  void SetTypingLimit(int limit);
  int TypingLimit() const { return limit_; }
  // Shows `text` whole, whatever the limit.
  void ShowWholeText(const QString& text);

 private:
  void FollowText();

  int limit_ = 0;
};

class LimitedPlainTextEdit : public QPlainTextEdit {
 public:
  void SetTypingLimit(int limit);
  int TypingLimit() const { return limit_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void insertFromMimeData(const QMimeData* source) override;

 private:
  // How many characters may still be typed over the current selection.
  int Room() const;

  int limit_ = 0;
};

}  // namespace stampwise::gui
