// Device arrival and removal for the interface dialog: a udev monitor on the
// tty, usb and hidraw subsystems where a udev daemon runs, otherwise a 2 s
// comparison of the serial and USB device lists (never a LAN search).
#pragma once

#include <QObject>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;
struct udev;
struct udev_monitor;

namespace stampwise::gui {

class DeviceWatch : public QObject {
  Q_OBJECT

 public:
  static constexpr int kDeviceArrival = 0x8000;
  static constexpr int kDeviceNodesChanged = 0x0007;
  static constexpr int kPollPeriodMs = 2000;

  explicit DeviceWatch(QObject* parent = nullptr);
  ~DeviceWatch() override;

  bool UsesUdev() const { return monitor_ != nullptr; }

 signals:
  void DeviceChange(int eventCode);

 private:
  bool StartUdevMonitor();
  void OnUdevEvent();
  void OnPoll();
  static std::vector<std::string> CurrentDevices();

  udev* udev_ = nullptr;
  udev_monitor* monitor_ = nullptr;
  std::unique_ptr<QSocketNotifier> notifier_;
  QTimer poll_;
  std::vector<std::string> lastDevices_;
};

}  // namespace stampwise::gui
