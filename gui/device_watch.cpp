#include "gui/device_watch.h"

#include <libudev.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cstring>

#include "app/connection/reader_client.h"

namespace stampwise::gui {
namespace {

// udevd's control socket: without it no events would ever arrive.
constexpr const char* kUdevControl = "/run/udev/control";

}  // namespace

DeviceWatch::DeviceWatch(QObject* parent) : QObject(parent) {
  if (StartUdevMonitor()) return;
  lastDevices_ = CurrentDevices();
  connect(&poll_, &QTimer::timeout, this, &DeviceWatch::OnPoll);
  poll_.start(kPollPeriodMs);
}

DeviceWatch::~DeviceWatch() {
  notifier_.reset();
  if (monitor_ != nullptr) udev_monitor_unref(monitor_);
  if (udev_ != nullptr) udev_unref(udev_);
}

bool DeviceWatch::StartUdevMonitor() {
  if (access(kUdevControl, F_OK) != 0) return false;
  udev_ = udev_new();
  if (udev_ == nullptr) return false;
  monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
  if (monitor_ == nullptr) return false;
  for (const char* subsystem : {"tty", "usb", "hidraw"}) {
    udev_monitor_filter_add_match_subsystem_devtype(monitor_, subsystem, nullptr);
  }
  if (udev_monitor_enable_receiving(monitor_) < 0) {
    udev_monitor_unref(monitor_);
    monitor_ = nullptr;
    return false;
  }
  notifier_ = std::make_unique<QSocketNotifier>(udev_monitor_get_fd(monitor_), QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &DeviceWatch::OnUdevEvent);
  return true;
}

void DeviceWatch::OnUdevEvent() {
  udev_device* device = udev_monitor_receive_device(monitor_);
  if (device == nullptr) return;
  const char* action = udev_device_get_action(device);
  const bool added = action != nullptr && std::strcmp(action, "add") == 0;
  udev_device_unref(device);
  // A removal changes the device nodes as well.
  emit DeviceChange(added ? kDeviceArrival : kDeviceNodesChanged);
}

std::vector<std::string> DeviceWatch::CurrentDevices() {
  std::vector<std::string> devices = ReaderClient::SerialPorts();
  const std::vector<std::string> usb = ReaderClient::UsbDevices();
  devices.insert(devices.end(), usb.begin(), usb.end());
  return devices;
}

void DeviceWatch::OnPoll() {
  std::vector<std::string> devices = CurrentDevices();
  if (devices == lastDevices_) return;
  lastDevices_ = std::move(devices);
  emit DeviceChange(kDeviceArrival);
}

}  // namespace stampwise::gui
