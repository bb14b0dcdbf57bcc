#include "app/port_settings.h"

namespace stampwise {

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
