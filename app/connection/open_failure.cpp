#include "app/connection/open_failure.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <regex>

#include "app/connection/open_reader.h"
#include "app/connection/reader_client.h"
#include "reader/rdr.h"

namespace stampwise {
namespace {

std::string SystemReason(int error) { return std::strerror(error); }

// The reader library's bound for a TCP connect.
constexpr int kConnectWaitMs = 3000;
constexpr int kDefaultLanPort = 10001;

// Why a TCP connection to a LAN address fails ("Connection refused", "No
// route to host", "Connection timed out"); nothing when it connects now.
std::optional<std::string> TcpReason(const std::string& address, int port) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::inet_pton(AF_INET, address.c_str(), &peer.sin_addr) != 1) return "not an IPv4 address";
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return SystemReason(errno);
  int error = 0;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
    error = errno;
    if (error == EINPROGRESS) {
      pollfd wait{fd, POLLOUT, 0};
      const int ready = ::poll(&wait, 1, kConnectWaitMs);
      socklen_t length = sizeof error;
      if (ready == 0) {
        error = ETIMEDOUT;
      } else if (ready < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        error = errno;
      }
    }
  }
  ::close(fd);
  if (error == 0) return std::nullopt;
  return SystemReason(error);
}

// A LAN reader given by its address ("10.0.0.5", "10.0.0.5-4001"): the TCP
// connection's reason; nothing for a module name ("[HALLE]").
std::optional<OpenFailure> LanFailure(const std::string& address) {
  static const std::regex kLanAddress(R"(^(\d{1,3}(?:\.\d{1,3}){3})(?:-(\d{1,5}))?$)");
  std::smatch lan;
  if (!std::regex_match(address, lan, kLanAddress)) return std::nullopt;
  const int port = lan[2].matched ? std::stoi(lan[2].str()) : kDefaultLanPort;
  if (const std::optional<std::string> reason = TcpReason(lan[1].str(), port)) return OpenFailure{address, *reason};
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
