// How a port name chooses its line: a device path or a "COMn" name opens a
// serial device; any other name is the serial number of a D2XX device.
#pragma once

#include <string>

namespace qlmkv {

struct ResolvedPortName {
  bool d2xx = false;   // true: open through the D2XX library by serial number
  std::string target;  // device path, or the D2XX serial number
  int portNumber = 0;  // number reported with the port's events
};

// "\\.\" is skipped first. "/dev/..." is cut at the first blank (the list
// appends " [description]"). "COMn" (any case, n starting with 1-9, anything
// after the digits dropped) maps to ComDevicePath(n). Everything else: D2XX,
// whose port number is what the first three characters read as.
ResolvedPortName ResolvePortName(const std::string& name);

// The serial device of "COMn": /dev/ttyS(n-1) on Linux, "\\.\COMn" on Windows.
std::string ComDevicePath(int number);

// True for the names that open a terminal device; false for D2XX serial numbers.
inline bool OpensTerminalDevice(const std::string& name) { return !ResolvePortName(name).d2xx; }

}  // namespace qlmkv
