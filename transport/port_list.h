// The list of serial ports and the USB driver check. The devices come from a
// DeviceSource; the system's is read from sysfs, and tests give a fake tree.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qlmkv {

// USB identities of the maker's readers.
constexpr std::uint16_t kVirtualComVendor = 0x1C40, kVirtualComProduct = 0x05AC;
constexpr std::uint16_t kFtdiReaderVendor = 0x0403, kFtdiReaderProduct = 0xE130;

// Bits of CheckUsbDrivers.
constexpr int kVirtualComDriverMissing = 2;
constexpr int kFtdiDriverMissing = 1;

struct TtyPort {
  std::string devicePath;  // "/dev/ttyACM0"
  bool onUsb = false;      // the USB fields below are known
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  std::string productText;
};

struct UsbDevice {
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  bool driverBound = false;  // some interface of it has a kernel driver
};

class DeviceSource {
 public:
  virtual ~DeviceSource() = default;
  // Serial devices that exist; nullopt when they cannot be enumerated.
  virtual std::optional<std::vector<TtyPort>> ListTtyPorts() const = 0;
  // The fallback: device paths of serial lines that could be opened (and
  // were closed again at once).
  virtual std::vector<std::string> ProbePorts() const = 0;
  virtual std::vector<UsbDevice> ListUsbDevices() const = 0;
};

// Reads <sysRoot>/class/tty and <sysRoot>/bus/usb/devices; device paths are
// made under devRoot.
class SysfsDeviceSource final : public DeviceSource {
 public:
  explicit SysfsDeviceSource(std::filesystem::path sysRoot = "/sys", std::filesystem::path devRoot = "/dev");
  std::optional<std::vector<TtyPort>> ListTtyPorts() const override;
  std::vector<std::string> ProbePorts() const override;
  std::vector<UsbDevice> ListUsbDevices() const override;

 private:
  std::optional<TtyPort> ReadTty(const std::filesystem::path& entry) const;
  void FindUsbParent(const std::filesystem::path& device, TtyPort& port) const;

  std::filesystem::path sysRoot_;
  std::filesystem::path devRoot_;
};

// The list entry of one port: its path, with " [description]" for the
// maker's readers.
std::string PortListEntry(const TtyPort& port);
// Sorts entries by base name, then by the number that ends the base name.
void SortPortList(std::vector<std::string>& entries);

// The port list: enumerated, else probed; sorted.
std::vector<std::string> GetComPortList(const DeviceSource& source);
// kVirtualComDriverMissing | kFtdiDriverMissing for readers without a driver.
int CheckUsbDrivers(const DeviceSource& source);

}  // namespace qlmkv
