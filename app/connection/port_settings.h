// The stored choice of the reader link (section "Port"), and the connection
// string that the interface dialog derives from it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/store/settings.h"

namespace stampwise {

// The device list's prefixes of USB devices and LAN readers (a serial port
// has none), as stored in "PortName".
inline constexpr std::string_view kUsbPrefix = "USB: ";
inline constexpr std::string_view kLanPrefix = "LAN: ";

// Range of the reply time-out ("Timeout").
inline constexpr int kMinTimeoutMs = 10;
inline constexpr int kMaxTimeoutMs = 300000;

struct PortSettings {
  std::string name = keys::kPortName.text;  // the list entry as shown ("USB: ...", "LAN: ..." or a serial port)
  int baudCode = keys::kPortBaudrate.number;
  int timeoutMs = keys::kPortDialogTimeout.number;  // the main window reads keys::kPortTimeout
  bool ethernet = keys::kPortEthernet.number != 0;
  int address = keys::kPortAddress.number;
};

// Reads the section with the interface dialog's defaults; an empty name is
// replaced by "COM1" and written back.
PortSettings LoadPortSettings(Settings& settings);

// What the interface dialog's OK stores, in one save: the name and the baud
// code only when the dialog has one (a selected entry, a listed rate).
struct PortChoice {
  std::optional<std::string> name;
  std::optional<int> baudCode;
  int timeoutMs = keys::kPortDialogTimeout.number;
  bool ethernet = false;
  int address = keys::kPortAddress.number;
};
bool SavePortSettings(Settings& settings, const PortChoice& choice);

// A stored "USB: " choice checked against the list of what is attached:
// kept when listed (exact, case-sensitive), else "USB: " and the first entry
// of the list; "" when the list is empty.
std::string CheckedUsbName(const std::string& name, const std::vector<std::string>& usbDevices);

// What the check of the stored choice asked the library for.
struct AttachedDevices {
  std::vector<std::string> usb;  // listed when the choice was a USB reader
};

// LoadPortSettings, then a stored USB choice checked against what is
// attached now; a changed name is written back. So a swapped local USB
// reader is opened directly, at start-up as in the interface dialog. A LAN
// choice stays as stored, answering or not: another module on the network
// may be another station's reader.
PortSettings LoadCheckedPortSettings(Settings& settings, AttachedDevices* attached = nullptr);

// A device list entry without its "USB: " or "LAN: " prefix.
std::string WithoutListPrefix(const std::string& entry);

// The entry without its "USB: " or "LAN: " prefix, then ":" and the address.
std::string ConnectString(const std::string& name, int address);

}  // namespace stampwise
