// One TCP connect to a LAN reader, to tell an operator why the reader
// library could not open it.
#pragma once

#include <optional>
#include <string>

namespace stampwise {

// Why a TCP connection to the IPv4 `address` fails ("Connection refused",
// "No route to host", "Connection timed out"); nothing when it connects now.
std::optional<std::string> TcpConnectFailure(const std::string& address, int port, int waitMs);

}  // namespace stampwise
