// What the reader connections need from the serial-side transports: opening a
// link by port name, and the device lists and driver checks.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "link/link.h"

namespace qlmkv {

// Opens a serial link: a device path, a "COMn" name, or else a D2XX device by
// serial number (see the port-name rules of the serial port). Starts its worker
// thread. Returns nullptr when the line cannot be opened.
std::unique_ptr<Transport> OpenSerialTransport(const std::string& portName, const LineSettings& settings,
                                               ByteSink& sink);

// Serial ports of the system, in list order, with their descriptions.
std::vector<std::string> GetComPortList();
// Serial numbers of attached D2XX devices that are not open.
std::vector<std::string> EnumFtdiDevices();
// Bit 2: a virtual-COM reader without driver; bit 1: an FTDI reader without driver.
int CheckUsbDrivers();
bool VirtualComDriverInstalled();

// HID readers: names ("<serial> HID") and opening by name. Filled in by the HID port.
std::vector<std::string> EnumHidDevices();
std::unique_ptr<Transport> OpenHidTransport(const std::string& name, ByteSink& sink);

}  // namespace qlmkv
