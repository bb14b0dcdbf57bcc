// Every message box of the program goes through this interface, so that tests
// can record and answer them instead of blocking on a real modal box.
#pragma once

#include <QString>

class QWidget;

namespace stampwise::gui {

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual void Information(QWidget* parent, const QString& text) = 0;
  virtual void Warning(QWidget* parent, const QString& text) = 0;
  // A Yes/No question; true for Yes.
  virtual bool Question(QWidget* parent, const QString& text) = 0;
  virtual void About(QWidget* parent, const QString& title, const QString& text) = 0;
  // A warning with Retry and Cancel under its own caption; true for Retry.
  virtual bool RetryCancel(QWidget* parent, const QString& caption, const QString& text) = 0;
};

// The real boxes (QMessageBox), titled with the program's name.
class QtMessageBoxes : public MessageBoxes {
 public:
  void Information(QWidget* parent, const QString& text) override;
  void Warning(QWidget* parent, const QString& text) override;
  bool Question(QWidget* parent, const QString& text) override;
  void About(QWidget* parent, const QString& title, const QString& text) override;
  bool RetryCancel(QWidget* parent, const QString& caption, const QString& text) override;
};

}  // namespace stampwise::gui
