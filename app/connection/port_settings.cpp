#include "app/connection/port_settings.h"

#include <algorithm>
#include <string_view>

#include "app/connection/reader_client.h"

namespace stampwise {

namespace {

bool StartsWith(const std::string& text, std::string_view prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

std::string CheckedUsbName(const std::string& name, const std::vector<std::string>& usbDevices) {
  if (usbDevices.empty()) return {};
  const std::string device = name.substr(kUsbPrefix.size());
  if (std::find(usbDevices.begin(), usbDevices.end(), device) != usbDevices.end()) return name;
  return std::string(kUsbPrefix) + usbDevices.front();
}

PortSettings LoadCheckedPortSettings(Settings& settings, AttachedDevices* attached) {
  PortSettings port = LoadPortSettings(settings);
  AttachedDevices found;
  std::string checked = port.name;
  if (StartsWith(port.name, kUsbPrefix)) {
    found.usb = ReaderClient::UsbDevices();
    checked = CheckedUsbName(port.name, found.usb);
  }
  // A LAN choice is never swapped for another module: a station must not
  // write through another station's reader. One that does not answer fails
  // to open, and the operator chooses.
  if (checked != port.name) {
    port.name = checked;
    settings.WriteString(keys::kPortName, port.name);
  }
  if (attached != nullptr) *attached = std::move(found);
  return port;
}

PortSettings LoadPortSettings(Settings& settings) {
  using namespace keys;
  PortSettings port;
  port.name = settings.ReadString(kPortName.section, kPortName.name, "");  // an empty one counts as missing
  if (port.name.empty()) {
    port.name = kPortName.text;
    settings.WriteString(kPortName, port.name);
  }
  port.baudCode = settings.ReadInt(kPortBaudrate);
  port.timeoutMs = settings.ReadInt(kPortDialogTimeout);
  port.ethernet = settings.ReadInt(kPortEthernet) == 1;
  port.address = settings.ReadInt(kPortAddress);
  return port;
}

bool SavePortSettings(Settings& settings, const PortChoice& choice) {
  using namespace keys;
  return settings.WriteBatch([&](CIniEx& ini) {
    if (choice.name) WriteKey(ini, kPortName, *choice.name);
    if (choice.baudCode) WriteKey(ini, kPortBaudrate, *choice.baudCode);
    WriteKey(ini, kPortDialogTimeout, choice.timeoutMs);
    WriteKey(ini, kPortAddress, choice.address);
    WriteKey(ini, kPortEthernet, choice.ethernet ? 1 : 0);
  });
}

std::string WithoutListPrefix(const std::string& entry) {
  for (const std::string_view prefix : {kUsbPrefix, kLanPrefix}) {
    if (StartsWith(entry, prefix)) return entry.substr(prefix.size());
  }
  return entry;
}

std::string ConnectString(const std::string& name, int address) {
  return WithoutListPrefix(name) + ":" + std::to_string(address);
}

}  // namespace stampwise
