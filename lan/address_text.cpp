#include "lan/address_text.h"

#include <charconv>

namespace qlmkv::lan {

std::optional<PeerAddress> SplitPort(const std::string& text) {
  const std::size_t dash = text.rfind('-');
  if (dash == std::string::npos) return PeerAddress{text, kDefaultReaderPort};
  unsigned port = 0;
  const char* first = text.data() + dash + 1;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(first, last, port);
  if (error != std::errc() || end != last || port == 0 || port > 0xFFFF) return std::nullopt;
  return PeerAddress{text.substr(0, dash), static_cast<std::uint16_t>(port)};
}

std::string WithoutPort(const std::string& text) { return text.substr(0, text.rfind('-')); }

std::string BracketedName(const std::string& text) {
  const std::size_t open = text.find('[');
  if (open == std::string::npos) return {};
  const std::size_t close = text.find(']', open);
  return text.substr(open, close == std::string::npos ? std::string::npos : close - open + 1);
}

std::optional<in_addr> ParseIpv4(const std::string& text) {
  in_addr address{};
  if (::inet_pton(AF_INET, text.c_str(), &address) != 1) return std::nullopt;
  return address;
}

std::string FormatIpv4(in_addr address) {
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

}  // namespace qlmkv::lan
