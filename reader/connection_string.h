// How RdrOpen reads its connection string: device address suffix, the kind
// of link it names and the line settings of a serial open.
#pragma once

#include <string>

#include "link/link.h"

namespace qlmkv {

enum class LinkKind { kSerial, kHid, kLan };

struct ConnectionTarget {
  std::string port;  // the string without its ":<address>" suffix
  int deviceAddress = 1;
};

// "COM" in any case at the start, or a device path under "/dev/": the names
// that keep the caller's baud rate (D2XX serial numbers, HID and LAN get 19200).
bool KeepsCallerBaudRate(const std::string& connection);
int EffectiveBaudRate(const std::string& connection, int baudRate);

// Splits off ":<decimal address>" when at least one character follows the
// first ':' (non-numeric text gives address 0).
ConnectionTarget ParseConnectionString(const std::string& connection);

// LAN when the port begins with '[' or has at least three dots, the first not
// at the start; HID when it contains "HID"; serial otherwise.
LinkKind ClassifyPort(const std::string& port);

// The serial port name to open. A serial device name loses everything after
// its first blank (a bracketed description from the port list); a D2XX serial
// number may hold blanks and is kept whole, less a leading "\\.\".
std::string SerialPortName(const std::string& port);

// Line settings of the line-format code: 0 N/1 stop, 1 E, 2 O, 3 N/2 stops,
// any other value N/1 stop; 8 data bits, no handshake, 512-byte write buffer.
LineSettings LineSettingsFor(int baudRate, int lineFormat);

// Text up to the first ':' (a device address suffix removed).
std::string WithoutDeviceAddress(const std::string& address);

}  // namespace qlmkv
