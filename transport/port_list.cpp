#include "transport/port_list.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <tuple>

#include "common/ascii.h"

namespace qlmkv {
namespace {

// Sort key of an entry: the path without its trailing number, then the number.
std::tuple<std::string, unsigned long> SortKey(const std::string& entry) {
  const std::string path = entry.substr(0, entry.find(' '));
  std::size_t digits = path.size();
  while (digits > 0 && std::isdigit(static_cast<unsigned char>(path[digits - 1]))) --digits;
  unsigned long number = 0;
  std::from_chars(path.data() + digits, path.data() + path.size(), number);
  return {path.substr(0, digits), number};
}

}  // namespace

std::string PortListEntry(const TtyPort& port) {
  if (!port.onUsb) return port.devicePath;
  if (ascii::StartsWithNoCase(port.productText, "Vex") || ascii::StartsWithNoCase(port.productText, "ZR-4"))
    return port.devicePath + " [" + port.productText + "]";
  if (port.vendor == kVirtualComVendor && port.product == kVirtualComProduct)
    return port.devicePath + " [Vex Virtual COM]";
  return port.devicePath;
}

void SortPortList(std::vector<std::string>& entries) {
  std::stable_sort(entries.begin(), entries.end(),
                   [](const std::string& a, const std::string& b) { return SortKey(a) < SortKey(b); });
}

std::vector<std::string> GetComPortList(const DeviceSource& source) {
  std::vector<std::string> entries;
  if (const auto ports = source.ListTtyPorts()) {
    for (const TtyPort& port : *ports) entries.push_back(PortListEntry(port));
  } else {
    entries = source.ProbePorts();
  }
  SortPortList(entries);
  return entries;
}

int CheckUsbDrivers(const DeviceSource& source) {
  int missing = 0;
  for (const UsbDevice& device : source.ListUsbDevices()) {
    if (device.driverBound) continue;
    if (device.vendor == kVirtualComVendor && device.product == kVirtualComProduct) missing |= kVirtualComDriverMissing;
    if (device.vendor == kFtdiReaderVendor && device.product == kFtdiReaderProduct) missing |= kFtdiDriverMissing;
  }
  return missing;
}

}  // namespace qlmkv
