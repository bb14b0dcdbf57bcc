#include "app/connection/open_failure.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <regex>

#include "app/connection/open_reader.h"
#include "app/connection/reader_client.h"
#include "app/connection/tcp_probe.h"
#include "reader/rdr.h"

namespace stampwise {
namespace {

// The reader library's bound for a TCP connect.
constexpr int kConnectWaitMs = 3000;
constexpr int kDefaultLanPort = 10001;

// A LAN reader given by its address ("10.0.0.5", "10.0.0.5-4001"): the TCP
// connection's reason; nothing for a module name ("[HALLE]").
std::optional<OpenFailure> LanFailure(const std::string& address) {
  static const std::regex kLanAddress(R"(^(\d{1,3}(?:\.\d{1,3}){3})(?:-(\d{1,5}))?$)");
  std::smatch lan;
  if (!std::regex_match(address, lan, kLanAddress)) return std::nullopt;
  const int port = lan[2].matched ? std::stoi(lan[2].str()) : kDefaultLanPort;
  if (const std::optional<std::string> reason = TcpConnectFailure(lan[1].str(), port, kConnectWaitMs))
    return OpenFailure{address, *reason};
  return std::nullopt;
}

// A USB reader given by its name ("17050002", "1705-0042 HID"): whether it
// is attached at all.
OpenFailure UsbFailure(const std::string& name) {
  const std::vector<std::string> usb = ReaderClient::UsbDevices();
  if (std::find(usb.begin(), usb.end(), name) == usb.end()) {
    return OpenFailure{name, "no USB reader with this serial number is attached"};
  }
  return OpenFailure{name, "attached, but it could not be opened (another program may hold it)"};
}

// The line's own reason, as the library's open found it; none when the line
// opened (and no reader answered).
std::optional<OpenFailure> LineFailure() {
  char path[512] = {};
  char reason[256] = {};
  if (RdrGetOpenFailure(path, sizeof path, reason, sizeof reason) != 1) return std::nullopt;
  return OpenFailure{path, reason};
}

}  // namespace

std::optional<OpenFailure> FindOpenFailure(const std::string& connection) {
  const LinkTarget target = DescribeConnection(connection);
  switch (target.kind) {
    case LinkTarget::Kind::kDeviceFile: return LineFailure();
    case LinkTarget::Kind::kLan: return LanFailure(target.name);
    case LinkTarget::Kind::kHid: return UsbFailure(target.name);
    case LinkTarget::Kind::kD2xx: break;
  }
  if (target.name.empty()) return std::nullopt;
  struct stat info {};
  if (::stat(target.name.c_str(), &info) == 0) {
    return OpenFailure{target.name, "not under /dev/, so taken as a D2XX serial number (give the /dev/ name)"};
  }
  return UsbFailure(target.name);
}

}  // namespace stampwise
