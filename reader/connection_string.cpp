#include "reader/connection_string.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string_view>

#include "common/ascii.h"
#include "transport/port_name.h"

namespace qlmkv {

namespace {

constexpr int kNonComBaudRate = 19200;

// Like the C library's atoi, but without overflow: leading blanks, a sign,
// then digits; anything else ends the number.
int DecimalPrefix(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = std::min<long long>(value * 10 + (text[i] - '0'), 0x7FFFFFFF);
  }
  return static_cast<int>(negative ? -value : value);
}

}  // namespace

bool KeepsCallerBaudRate(const std::string& connection) {
  if (connection.rfind("/dev/", 0) == 0) return true;
  return ascii::StartsWithNoCase(connection, "COM");
}

int EffectiveBaudRate(const std::string& connection, int baudRate) {
  return KeepsCallerBaudRate(connection) ? baudRate : kNonComBaudRate;
}

ConnectionTarget ParseConnectionString(const std::string& connection) {
  ConnectionTarget target{connection, 1};
  const std::size_t colon = connection.find(':');
  if (colon != std::string::npos && colon + 1 < connection.size()) {
    target.deviceAddress = DecimalPrefix(connection.substr(colon + 1));
    target.port = connection.substr(0, colon);
  }
  return target;
}

LinkKind ClassifyPort(const std::string& port) {
  if (!port.empty() && port.front() == '[') return LinkKind::kLan;
  const std::size_t firstDot = port.find('.');
  if (firstDot != std::string::npos && firstDot != 0 && std::count(port.begin(), port.end(), '.') >= 3) {
    return LinkKind::kLan;
  }
  if (port.find("HID") != std::string::npos) return LinkKind::kHid;
  return LinkKind::kSerial;
}

std::string SerialPortName(const std::string& port) {
  if (OpensTerminalDevice(port)) return port.substr(0, port.find(' '));
  constexpr std::string_view kDevicePrefix = "\\\\.\\";
  return port.rfind(kDevicePrefix, 0) == 0 ? port.substr(kDevicePrefix.size()) : port;
}

LineSettings LineSettingsFor(int baudRate, int lineFormat) {
  LineSettings settings;
  settings.baudRate = baudRate;
  settings.dataBits = 8;
  settings.handshake = 0;
  settings.writeBufferSize = 512;
  switch (lineFormat) {
    case 1: settings.parity = 'E'; break;
    case 2: settings.parity = 'O'; break;
    case 3: settings.stopBits = 2; break;
    default: break;
  }
  return settings;
}

std::string WithoutDeviceAddress(const std::string& address) { return address.substr(0, address.find(':')); }

}  // namespace qlmkv
