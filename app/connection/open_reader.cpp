#include "app/connection/open_reader.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/connection/device_presence.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "common/ascii.h"
#include "reader/rdr.h"

#ifndef STAMPWISE_PRODUCT_VERSION
#define STAMPWISE_PRODUCT_VERSION "1.00"
#endif

namespace stampwise {

std::vector<std::string> UnpackNameList(const char* buffer, int used) {
  std::vector<std::string> names;
  std::size_t at = 0;
  const std::size_t end = used > 0 ? static_cast<std::size_t>(used) : 0;
  while (at < end && buffer[at] != '\0') {
    const std::size_t length = strnlen(buffer + at, end - at);
    names.emplace_back(buffer + at, length);
    at += length + 1;
  }
  return names;
}

BaudCode SplitBaudCode(int code) {
  BaudCode result;
  result.lineFormat = code % 100;
  result.baudRate = code - result.lineFormat;
  if (result.lineFormat > 3 || result.lineFormat < 0) result.lineFormat = 0;
  return result;
}

int JoinBaudCode(int baudRate, int lineFormat) { return baudRate + lineFormat; }

bool IsBaudCode(int code) { return code >= 100 && code % 100 <= 3; }

int FirmwareRevision(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const char lower = ascii::ToLower(c);
  if (lower >= 'a' && lower <= 'z') return 10 + (lower - 'a');
  return 0;
}

std::string ProductVersion() {
  const std::string version = STAMPWISE_PRODUCT_VERSION;
  if (version.empty() || version.size() >= 20) return "1.xx";
  return version;
}

ReaderIdentity OpenReader(const std::string& connection, int baudCode, int timeoutMs) {
  ReaderIdentity id;
  const BaudCode baud = SplitBaudCode(baudCode);
  const int handle = RdrOpen(connection.c_str(), baud.baudRate, baud.lineFormat, timeoutMs);
  if (handle <= 0) {
    // A link that opened but where no reader answered is not a port that
    // failed to open: the operator must choose another interface, not mend this one.
    id.messageId = handle == RDR_OPEN_NO_READER ? msg::kNoReaderAtPort : ErrorMessageId(RdrGetLastError(handle));
    return id;
  }
  unsigned char version[4] = {};
  char model[32] = {};
  const int identified = RdrGetVersion(handle, version, sizeof version, model, sizeof model);
  if (identified < 0) {
    RdrClose(handle);
    id.messageId = msg::kNoReaderAtPort;
    return id;
  }
  const std::string codeText(reinterpret_cast<const char*>(version), 3);
  const int deviceCode = static_cast<int>(std::strtol(codeText.c_str(), nullptr, 16));
  if ((deviceCode & 0xF) <= 1) {
    RdrClose(handle);
    id.messageId = msg::kReaderOnlyDevice;
    return id;
  }
  RdrSetMode(handle, 0);
  id.handle = handle;
  id.modelName = model;
  if (identified > 3) id.identification.assign(reinterpret_cast<const char*>(version), 4);
  id.firmwareText = FormatString(msg::kFirmwareVersion, {1, FirmwareRevision(static_cast<char>(version[3]))});
  id.txPowerAdjustable = deviceCode == 0x312 || deviceCode == 0x322;
  unsigned char text[256] = {};
  const int n = RdrCommand(handle, 0x09, nullptr, 0, text, sizeof text);
  if (n >= 1) {
    const std::string deviceText(reinterpret_cast<const char*>(text), static_cast<std::size_t>(n < 99 ? n : 99));
    id.deviceText = deviceText.substr(0, deviceText.find('\0'));
    id.firmwareText += "[" + id.deviceText + "]";
  }
  id.usb = RdrIsUsb(handle) == 1;
  id.linkText = id.modelName + " " + (id.usb ? "USB:" : "") + connection + " " + id.firmwareText;
  id.titleSuffix = " <" + id.linkText + ">";
  return id;
}

LinkTarget DescribeConnection(const std::string& connection) {
  std::vector<char> name(connection.size() + 32, '\0');
  const int kind = RdrDescribeConnection(connection.c_str(), name.data(), static_cast<int>(name.size()));
  LinkTarget target;
  switch (kind) {
    case RDR_LINK_DEVICE_FILE: target.kind = LinkTarget::Kind::kDeviceFile; break;
    case RDR_LINK_D2XX: target.kind = LinkTarget::Kind::kD2xx; break;
    case RDR_LINK_HID: target.kind = LinkTarget::Kind::kHid; break;
    default: target.kind = LinkTarget::Kind::kLan; break;
  }
  target.name = name.data();
  return target;
}

std::string DeviceFileOfConnection(const std::string& connection) {
  const LinkTarget target = DescribeConnection(connection);
  return target.kind == LinkTarget::Kind::kDeviceFile ? target.name : std::string();
}

std::string ListedHidNameOfConnection(const std::string& connection) {
  const LinkTarget target = DescribeConnection(connection);
  if (target.kind != LinkTarget::Kind::kHid) return {};
  // The USB list keeps only names whose first four characters read 1700 to 1709.
  int series = 0;
  for (std::size_t i = 0; i < target.name.size() && i < 4 && std::isdigit(static_cast<unsigned char>(target.name[i]));
       ++i) {
    series = series * 10 + (target.name[i] - '0');
  }
  return series >= 1700 && series <= 1709 ? target.name : std::string();
}

bool ReaderLinkLost(const std::string& connection) {
  const std::string file = DeviceFileOfConnection(connection);
  return !file.empty() && DeviceFileGone(file);
}

std::string WindowTitle(const std::string& templateTitle, const std::string& productVersion,
                        const ReaderIdentity* identity) {
  const std::string base = templateTitle + " V" + productVersion;
  if (identity == nullptr || identity->handle <= 0) return base + " <>";
  return base + identity->titleSuffix;
}

}  // namespace stampwise
