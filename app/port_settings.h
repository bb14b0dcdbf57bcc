// The stored choice of the reader link (section "Port"), and the connection
// string that the interface dialog derives from it.
#pragma once

#include <string>

#include "app/settings.h"

namespace stampwise {

struct PortSettings {
  std::string name = "COM1";  // "Name": the list entry as shown ("USB: ...", "LAN: ..." or a serial port)
  int baudCode = 19200;       // "Baudrate"
  int timeoutMs = 1000;       // "Timeout" (the dialog's default; the main window reads 500)
  bool ethernet = false;      // "EthernetAktiv"
  int address = 1;            // "Adresse"
};

// Reads the section with the interface dialog's defaults; an empty name is
// replaced by "COM1" and written back.
PortSettings LoadPortSettings(Settings& settings);
bool SavePortSettings(Settings& settings, const PortSettings& port);

// The entry without its "USB: " or "LAN: " prefix, then ":" and the address.
std::string ConnectString(const std::string& name, int address);

}  // namespace stampwise
