// Changing a LAN module's address, port, mask, gateway and name through its
// configuration service, and the reachability test of an address text.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace qlmkv {

using Ipv4 = std::array<std::uint8_t, 4>;

// "a.b.c.d-port" or "[name]-port", the port optional (0 when absent). The
// bracket form names the module and carries the address 0.0.0.0.
struct LanTarget {
  Ipv4 address{};
  std::uint16_t port = 0;
  std::optional<std::string> name;
};

std::optional<Ipv4> ParseDottedAddress(const std::string& text);
std::optional<LanTarget> ParseLanTarget(const std::string& text);
// Zero bits counted from the lowest bit of the last byte up to the first one
// bit: 255.255.255.0 gives 8, 0.0.0.0 gives 32.
int HostBitCount(const Ipv4& mask);

// One echo to the address text (device address and port suffixes removed).
bool PingAddressText(const std::string& address);

// 0 on success, otherwise a negative value. Mask and gateway may be null or empty.
int SetLanParams(const std::string& currentAddress, const std::string& newAddress, const char* subnetMask,
                 const char* gateway);

}  // namespace qlmkv
