#include "app/lan_setup.h"

#include <algorithm>
#include <cstdio>

namespace stampwise {

namespace {

constexpr std::size_t kRecordSize = 120;

std::string Dotted(const std::array<std::uint8_t, 4>& a) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
  return text;
}

}  // namespace

std::string LanSetup::AddressText() const { return Dotted(address); }
std::string LanSetup::GatewayText() const { return Dotted(gateway); }

std::string LanSetup::MaskText() const {
  const int bits = std::clamp(hostBits, 0, 32);
  const std::uint32_t mask = bits >= 32 ? 0 : ~std::uint32_t{0} << bits;
  return Dotted({static_cast<std::uint8_t>(mask >> 24), static_cast<std::uint8_t>(mask >> 16),
                 static_cast<std::uint8_t>(mask >> 8), static_cast<std::uint8_t>(mask)});
}

std::optional<LanSetup> ParseLanSetup(const std::vector<std::uint8_t>& record) {
  if (record.size() != kRecordSize) return std::nullopt;
  LanSetup setup;
  std::copy_n(record.begin(), 4, setup.address.begin());
  setup.hostBits = record[6];
  std::copy_n(record.begin() + 12, 4, setup.gateway.begin());
  setup.port = record[20] | (record[21] << 8);
  const auto name = record.begin() + 112;
  setup.name.assign(name, std::find(name, name + kLanNameMax, std::uint8_t{0}));
  return setup;
}

std::string LanAddressText(const std::string& addressOrBracketedName, int port) {
  return port > 0 ? addressOrBracketedName + "-" + std::to_string(port) : addressOrBracketedName;
}

}  // namespace stampwise
