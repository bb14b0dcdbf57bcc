// The serial ports and USB devices of a Windows system, from the device
// set-up functions (setupapi.dll, loaded at run time) and the registry's
// list of serial devices.
#pragma once

#include "transport/port_list.h"

namespace qlmkv {

class WinDeviceSource final : public DeviceSource {
 public:
  // The registry's serial devices, with the USB identities the "Ports"
  // device class knows; nullopt when neither can be read.
  std::optional<std::vector<TtyPort>> ListTtyPorts() const override;
  // The names under HARDWARE\DEVICEMAP\SERIALCOMM.
  std::vector<std::string> ProbePorts() const override;
  std::vector<UsbDevice> ListUsbDevices() const override;
  // Windows 10 or later (its own driver serves), or the maker's INF file is installed.
  bool VirtualComDriverInstalled() const;
};

}  // namespace qlmkv
