// "LAN Einstellung": the network settings of one LAN module (fixed address
// with mask, gateway and port, or an automatic address under a DHCP name).
// OK hands the change to the module, then waits, with a progress bar, until
// the module answers at its new address.
#pragma once

#include <QDialog>
#include <optional>
#include <string>

#include "app/base/nested_wait.h"
#include "gui/message_boxes.h"

class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace stampwise::gui {

class CLanConfig : public QDialog {
  Q_OBJECT

 public:
  // `moduleAddress`: the IP search's entry of the module.
  CLanConfig(MessageBoxes& boxes, std::string moduleAddress, QWidget* parent = nullptr);

  // After a change: the module's new address text.
  const std::string& ModuleAddress() const { return moduleAddress_; }
  bool Applying() const { return applying_.Busy(); }

  void accept() override;
  void reject() override;

 private:
  enum Addressing { kUnknown = -1, kAutomatic = 0, kFixed = 1 };

  void BuildControls();
  void Reload();
  void ApplyControlState();
  // The checked change, or nothing (a message told what is wrong).
  struct Change {
    std::string address;
    std::string mask;
    std::string gateway;
  };
  std::optional<Change> CheckedChange();
  void ShowApplying(bool applying);

  MessageBoxes& boxes_;
  std::string moduleAddress_;
  // The name as the module holds it: kept byte for byte while the field shows
  // it unchanged (bytes that are not UTF-8 show as Latin-1).
  std::string moduleName_;
  Addressing addressing_ = kUnknown;
  NestedWait applying_;

  QProgressBar* progress_ = nullptr;   // 1253
  QLineEdit* mask_ = nullptr;          // 1244
  QLineEdit* address_ = nullptr;       // 1243
  QLineEdit* gateway_ = nullptr;       // 1245
  QLineEdit* port_ = nullptr;          // 1246
  QLineEdit* dhcpName_ = nullptr;      // 1247
  QRadioButton* automatic_ = nullptr;  // 1251
  QRadioButton* fixed_ = nullptr;      // 1252
  QPushButton* ok_ = nullptr;          // 1
  QPushButton* cancel_ = nullptr;      // 2
};

}  // namespace stampwise::gui
