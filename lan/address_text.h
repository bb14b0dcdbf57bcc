// The address texts of LAN modules: "a.b.c.d", "a.b.c.d-port" and texts
// holding a bracketed module name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "lan/socket_api.h"

namespace qlmkv::lan {

constexpr std::uint16_t kDefaultReaderPort = 10001;

struct PeerAddress {
  std::string host;  // dotted address as given
  std::uint16_t port = kDefaultReaderPort;
};

// Splits "host-port" at the last '-'; without one the port is 10001. A port
// that is not a decimal number from 1 to 65535 makes the text unusable.
std::optional<PeerAddress> SplitPort(const std::string& text);

// The text before the last '-' (the whole text without one).
std::string WithoutPort(const std::string& text);

// From the first '[' up to and including the next ']' (to the end without
// one); empty when the text has no '['.
std::string BracketedName(const std::string& text);

// Dotted decimal IPv4 only (no host names), in network byte order.
std::optional<in_addr> ParseIpv4(const std::string& text);
std::string FormatIpv4(in_addr address);

}  // namespace qlmkv::lan
