// "Einstellungen": the duration of the success beep and the cycle time of
// the read and write cycles, and the ledger with the block of values a
// station leases from a shared one, stored in the settings on OK.
#pragma once

#include <QDialog>

#include "app/store/settings.h"
#include "gui/message_boxes.h"

class QLineEdit;

namespace stampwise::gui {

class CBeepTimeDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kMinBeepMs = 0;
  static constexpr int kMaxBeepMs = 1000;

  CBeepTimeDlg(Settings& settings, MessageBoxes& boxes, QWidget* parent = nullptr);

  // OK: checks both fields (range messages), stores them and closes; an
  // invalid field keeps the dialog open with the focus on it.
  void accept() override;

 private:
  bool TakeField(QLineEdit* field, int id, int low, int high, int* value);

  Settings& settings_;
  MessageBoxes& boxes_;
  QLineEdit* beepTime_ = nullptr;   // 1002
  QLineEdit* cycleTime_ = nullptr;  // 1003
  QLineEdit* ledger_ = nullptr;     // a file or a postgresql:// URI, shown without its password
  QLineEdit* leaseSize_ = nullptr;
};

}  // namespace stampwise::gui
