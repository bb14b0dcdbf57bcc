// The network settings of a reader's LAN module as its setup record 0 holds
// them, and the address text that asks the library for a change.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace stampwise {

struct LanSetup {
  std::array<std::uint8_t, 4> address{};  // 0.0.0.0: automatic addressing
  int hostBits = 0;
  std::array<std::uint8_t, 4> gateway{};
  int port = 0;
  std::string name;

  bool Automatic() const { return address == std::array<std::uint8_t, 4>{}; }
  // Dotted texts; the mask is all ones but the lowest hostBits bits.
  std::string AddressText() const;
  std::string MaskText() const;
  std::string GatewayText() const;
};

// A record of exactly 120 bytes, else nothing (a record of another length is
// not the module's setup).
std::optional<LanSetup> ParseLanSetup(const std::vector<std::uint8_t>& record);

// The longest module name the record holds.
inline constexpr std::size_t kLanNameMax = 8;

// "a.b.c.d" or "[NAME]", with "-port" when a port is given (> 0).
std::string LanAddressText(const std::string& addressOrBracketedName, int port);

}  // namespace stampwise
