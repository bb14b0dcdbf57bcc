#include "app/port_settings.h"

#include <algorithm>
#include <string_view>

#include "app/reader_link.h"
#include "reader/rdr.h"

namespace stampwise {

namespace {

constexpr std::string_view kUsbPrefix = "USB: ";
constexpr std::string_view kLanPrefix = "LAN: ";
constexpr int kListCapacity = 255;

std::string CheckedName(const std::string& name, std::string_view prefix, const std::vector<std::string>& devices) {
  if (devices.empty()) return {};
  const std::string device = name.substr(prefix.size());
  if (std::find(devices.begin(), devices.end(), device) != devices.end()) return name;
  return std::string(prefix) + devices.front();
}

bool StartsWith(const std::string& text, std::string_view prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

std::string CheckedUsbName(const std::string& name, const std::vector<std::string>& usbDevices) {
  return CheckedName(name, kUsbPrefix, usbDevices);
}

std::string CheckedLanName(const std::string& name, const std::vector<std::string>& lanReaders) {
  return CheckedName(name, kLanPrefix, lanReaders);
}

PortSettings LoadCheckedPortSettings(Settings& settings, AttachedDevices* attached) {
  PortSettings port = LoadPortSettings(settings);
  AttachedDevices found;
  char buffer[kListCapacity] = {};
  std::string checked = port.name;
  if (StartsWith(port.name, kUsbPrefix)) {
    found.usb = UnpackNameList(buffer, RdrListUsbDevices(buffer, kListCapacity));
    checked = CheckedUsbName(port.name, found.usb);
  } else if (StartsWith(port.name, kLanPrefix) && port.ethernet) {
    if (RdrPing(port.name.substr(kLanPrefix.size()).c_str()) == 0) {
      found.lan = UnpackNameList(buffer, RdrListLanReaders(buffer, kListCapacity, 1));
      checked = CheckedLanName(port.name, found.lan);
    }
  }
  if (checked != port.name) {
    port.name = checked;
    settings.WriteString(section::kPort, "Name", port.name);
  }
  if (attached != nullptr) *attached = std::move(found);
  return port;
}

PortSettings LoadPortSettings(Settings& settings) {
  PortSettings port;
  port.name = settings.ReadString(section::kPort, "Name", "");
  if (port.name.empty()) {
    port.name = "COM1";
    settings.WriteString(section::kPort, "Name", port.name);
  }
  port.baudCode = settings.ReadInt(section::kPort, "Baudrate", 19200);
  port.timeoutMs = settings.ReadInt(section::kPort, "Timeout", 1000);
  port.ethernet = settings.ReadInt(section::kPort, "EthernetAktiv", 0) == 1;
  port.address = settings.ReadInt(section::kPort, "Adresse", 1);
  return port;
}

bool SavePortSettings(Settings& settings, const PortSettings& port) {
  return settings.WriteString(section::kPort, "Name", port.name) &&
         settings.WriteInt(section::kPort, "Baudrate", port.baudCode) &&
         settings.WriteInt(section::kPort, "Timeout", port.timeoutMs) &&
         settings.WriteInt(section::kPort, "EthernetAktiv", port.ethernet ? 1 : 0) &&
         settings.WriteInt(section::kPort, "Adresse", port.address);
}

std::string ConnectString(const std::string& name, int address) {
  std::string port = name;
  if (port.rfind("USB: ", 0) == 0 || port.rfind("LAN: ", 0) == 0) port.erase(0, 5);
  return port + ":" + std::to_string(address);
}

}  // namespace stampwise
