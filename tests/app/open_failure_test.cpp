// Why a link did not open, for links without a device file: a LAN address's
// TCP reason, a USB reader that is not attached, nothing for a module name.
#include "app/connection/open_failure.h"

#include <gtest/gtest.h>

#include "tests/cli/loopback_port.h"

namespace stampwise {
namespace {

TEST(OpenFailure, LinksWithoutADeviceFileSayWhy) {
  const int port = testing::ClosedLoopbackPort();
  ASSERT_NE(port, 0) << "no loopback port";
  const std::string refused = "127.0.0.1-" + std::to_string(port);
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
