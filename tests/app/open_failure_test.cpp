// Why a link did not open, for links without a device file: a LAN address's
// TCP reason, a USB reader that is not attached, nothing for a module name.
#include "app/open_failure.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace stampwise {
namespace {

// A loopback port nobody listens on: bound for a moment, then let go.
int FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ADD_FAILURE() << "no loopback port";
  }
  ::close(fd);
  return ntohs(address.sin_port);
}

TEST(OpenFailure, LinksWithoutADeviceFileSayWhy) {
  const std::string refused = "127.0.0.1-" + std::to_string(FreeLoopbackPort());
  struct Case {
    std::string connection;
    std::optional<std::string> path;
    std::string reason;
  };
  const Case cases[] = {
      {refused + ":1", refused, "Connection refused"},
      {"17059999:1", "17059999", "no USB reader with this serial number is attached"},
      {"1705-9999 HID:2", "1705-9999 HID", "no USB reader with this serial number is attached"},
      {"[HALLE]:1", std::nullopt, ""},
  };
  for (const Case& c : cases) {
    const std::optional<OpenFailure> failure = FindOpenFailure(c.connection);
    ASSERT_EQ(failure.has_value(), c.path.has_value()) << c.connection;
    if (!failure) continue;
    EXPECT_EQ(failure->path, *c.path) << c.connection;
    EXPECT_EQ(failure->reason, c.reason) << c.connection;
  }
}

}  // namespace
}  // namespace stampwise
