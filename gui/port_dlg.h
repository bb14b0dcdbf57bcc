// "Schnittstelle": the choice of the reader link (serial port, USB reader or
// LAN reader), the serial line settings, the reply time-out and the bus
// address, the HID / virtual-COM switch of USB readers, and a device list that
// follows devices as they come and go. A device path can be typed for what no
// list shows (pseudo-terminals, socat links, the stable /dev/serial/by-id/
// names). OK stores the "Port" settings; the caller then opens
// GetConnectString().
#pragma once

#include <QDialog>
#include <QTimer>
#include <string>
#include <vector>

#include "app/connection/reader_client.h"
#include "app/store/settings.h"
#include "gui/device_watch.h"
#include "gui/message_boxes.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace stampwise::gui {

class CPortDlg : public QDialog {
  Q_OBJECT

 public:
  // Posted by the dialog itself: refresh once when idle.
  static constexpr int kConfigChanged = 0x0018;
  static constexpr int kRefreshPeriodMs = 1000;
  static constexpr int kRefreshTicks = 17;

  CPortDlg(Settings& settings, MessageBoxes& boxes, QWidget* parent = nullptr);

  // The chosen entry without its "USB: " / "LAN: " prefix, then ":address".
  std::string GetConnectString() const;
  const std::string& PortName() const { return portName_; }
  std::vector<std::string> Entries() const { return entries_; }

  // A device-change notification (0x8000 arrival, 0x0007 nodes changed,
  // 0x0018 posted by the dialog).
  void OnDeviceChange(int eventCode);
  bool RefreshTimerRunning() const { return refreshTimer_.isActive(); }

  void accept() override;

 private:
  void BuildControls();
  void OpenDialog();
  void CheckStoredChoice();
  bool RefreshSerial();
  bool RefreshUsb();
  bool RefreshLan();
  void RefreshPass();
  void FillList();
  void SelectPortName();
  bool DriverPrompt(int missingMask);
  void SetModeButtons(const std::string& name);
  void EnableLineControls(const std::string& name);
  void PostConfigChanged();
  int SelectedRow() const;
  std::string SelectedEntry() const;

  void OnSelectionChanged();
  void OnPathEdited();
  void OnUseStableName();
  std::string SelectedStableName() const;
  // The typed path, checked; false (after a message) when it cannot be opened.
  bool TypedPathUsable(const std::string& path);
  void OnEthernetClicked();
  void OnIpSearch();
  void SwitchSelectedReaderTo(UsbMode wanted);
  void OnRefreshTick();

  Settings& settings_;
  MessageBoxes& boxes_;

  int timeoutMs_ = 1000;
  bool ethernet_ = false;
  int address_ = 1;
  QTimer refreshTimer_;
  int refreshTicks_ = 0;
  std::string portName_;
  int baudCode_ = 19200;
  std::vector<std::string> serialPorts_;
  std::vector<std::string> usbDevices_;
  std::vector<std::string> lanReaders_;
  std::vector<std::string> entries_;  // what the list shows
  DeviceWatch deviceWatch_;

  QListWidget* list_ = nullptr;        // 1012
  QCheckBox* ethernetBox_ = nullptr;   // 1250
  QPushButton* ipSearch_ = nullptr;    // 1256
  QPushButton* hidMode_ = nullptr;     // 1035
  QPushButton* virtualCom_ = nullptr;  // 1036
  QComboBox* baudRate_ = nullptr;      // 1011
  QComboBox* parity_ = nullptr;        // 1013
  QComboBox* stopBits_ = nullptr;      // 1014
  QLineEdit* timeout_ = nullptr;       // 1002
  QLineEdit* addressEdit_ = nullptr;   // 1003
  QLineEdit* pathEdit_ = nullptr;      // 1261 a typed device path
  QPushButton* stableName_ = nullptr;  // 1262 takes the selected port's stable name
};

}  // namespace stampwise::gui
