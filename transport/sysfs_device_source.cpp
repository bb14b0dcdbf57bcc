// The serial ports and USB devices of a Linux system, read from sysfs.
#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <charconv>
#include <fstream>
#include <string_view>
#include <system_error>

#include "transport/port_list.h"

namespace qlmkv {
namespace fs = std::filesystem;

namespace {

// Families the fallback probe tries, each numbered from 0.
constexpr std::string_view kProbedFamilies[] = {"ttyS", "ttyUSB", "ttyACM"};
constexpr int kProbedPerFamily = 255;

std::string ReadFirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
  return line;
}

std::optional<std::uint16_t> ReadHexId(const fs::path& file) {
  const std::string text = ReadFirstLine(file);
  std::uint16_t value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (ec != std::errc() || ptr != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

// The device node named in a uevent file ("DEVNAME=ttyACM0").
std::string DeviceName(const fs::path& uevent) {
  std::ifstream in(uevent);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("DEVNAME=", 0) == 0) return line.substr(8);
  }
  return {};
}

bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

}  // namespace

SysfsDeviceSource::SysfsDeviceSource(fs::path sysRoot, fs::path devRoot)
    : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot)) {}

std::optional<std::vector<TtyPort>> SysfsDeviceSource::ListTtyPorts() const {
  std::error_code ec;
  fs::directory_iterator it(sysRoot_ / "class" / "tty", ec);
  if (ec) return std::nullopt;
  std::vector<TtyPort> ports;
  for (const fs::directory_entry& entry : it) {
    if (auto port = ReadTty(entry.path())) ports.push_back(*port);
  }
  return ports;
}

std::optional<TtyPort> SysfsDeviceSource::ReadTty(const fs::path& entry) const {
  // Virtual terminals, consoles and pseudo-terminals have no parent device.
  const std::string name = entry.filename().string();
  if (name.size() <= 3 || name.rfind("tty", 0) != 0 || !Exists(entry / "device")) return std::nullopt;
  // Legacy UART slots without a chip behind them read as port type 0.
  if (Exists(entry / "type") && ReadFirstLine(entry / "type") == "0") return std::nullopt;
  std::string node = DeviceName(entry / "uevent");
  if (node.empty()) node = name;
  TtyPort port;
  port.devicePath = (devRoot_ / node).string();
  FindUsbParent(entry / "device", port);
  return port;
}

void SysfsDeviceSource::FindUsbParent(const fs::path& device, TtyPort& port) const {
  std::error_code ec;
  const fs::path root = fs::weakly_canonical(sysRoot_, ec);
  fs::path dir = fs::canonical(device, ec);
  if (ec) return;
  // Walk up from the tty's parent (USB interface or serial converter port)
  // to the USB device, which carries the identities.
  for (; !dir.empty() && dir != root && dir != dir.parent_path(); dir = dir.parent_path()) {
    const auto vendor = ReadHexId(dir / "idVendor");
    const auto product = ReadHexId(dir / "idProduct");
    if (vendor && product) {
      port.onUsb = true;
      port.vendor = *vendor;
      port.product = *product;
      port.productText = ReadFirstLine(dir / "product");
      return;
    }
  }
}

std::vector<std::string> SysfsDeviceSource::ProbePorts() const {
  std::vector<std::string> found;
  for (std::string_view family : kProbedFamilies) {
    for (int n = 0; n < kProbedPerFamily; ++n) {
      const fs::path path = devRoot_ / (std::string(family) + std::to_string(n));
      if (!Exists(path)) continue;
      // A line that another program holds exclusively does not open.
      const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
      if (fd < 0) continue;
      ::close(fd);
      found.push_back(path.string());
    }
  }
  return found;
}

std::vector<UsbDevice> SysfsDeviceSource::ListUsbDevices() const {
  std::vector<UsbDevice> devices;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(sysRoot_ / "bus" / "usb" / "devices", ec)) {
    const auto vendor = ReadHexId(entry.path() / "idVendor");
    const auto product = ReadHexId(entry.path() / "idProduct");
    if (!vendor || !product) continue;  // an interface, not a device
    UsbDevice device{*vendor, *product, false};
    // The device's interfaces are its sub-folders "<device>:<config>.<interface>".
    const std::string interfacePrefix = entry.path().filename().string() + ":";
    std::error_code inner;
    for (const fs::directory_entry& child : fs::directory_iterator(entry.path(), inner)) {
      if (child.path().filename().string().rfind(interfacePrefix, 0) == 0 && Exists(child.path() / "driver"))
        device.driverBound = true;
    }
    devices.push_back(device);
  }
  return devices;
}

}  // namespace qlmkv
