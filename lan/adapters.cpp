#include "lan/adapters.h"

#include "lan/address_text.h"
#include "lan/socket_api.h"

namespace qlmkv::lan {

namespace {

bool SameSubnet(const CAdapter& adapter, const std::string& peer) {
  const auto address = ParseIpv4(adapter.address);
  const auto mask = ParseIpv4(adapter.mask);
  const auto other = ParseIpv4(peer);
  if (!address || !mask || !other) return false;
  return (address->s_addr & mask->s_addr) == (other->s_addr & mask->s_addr);
}

}  // namespace

// A connected UDP socket sends nothing; connecting it only asks the routing
// table which source address it would use.
std::string SourceAddressFor(const std::string& peer) {
  const auto address = ParseIpv4(peer);
  if (!address) return {};
  const SocketHandle fd = OpenSocket(SOCK_DGRAM);
  if (fd == kNoSocket) return {};
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(kDefaultReaderPort);
  target.sin_addr = *address;
  std::string source;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0) {
    sockaddr_in local{};
    socklen_t size = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) == 0) source = FormatIpv4(local.sin_addr);
  }
  CloseSocket(fd);
  return source;
}

bool AdapterChoice::SelectAdapterFor(const std::string& peer) {
  const std::string source = SourceAddressFor(peer);
  if (source.empty()) return false;
  SelectOnInterface(InterfaceOfAddress(source), peer);
  return true;
}

void AdapterChoice::SelectOnInterface(std::uint32_t interfaceIndex, const std::string& peer) {
  if (table_.empty()) Refill();
  for (const CAdapter& adapter : table_) {
    if (adapter.interfaceIndex == interfaceIndex && SameSubnet(adapter, peer)) {
      local_ = adapter.address;
      return;
    }
  }
}

bool AdapterChoice::FirstAdapter() {
  if (table_.empty()) return false;
  local_ = table_.front().address;
  return true;
}

bool AdapterChoice::NextAdapter() {
  if (table_.empty()) return false;
  if (local_.empty()) return FirstAdapter();
  for (std::size_t i = 0; i + 1 < table_.size(); ++i) {
    if (table_[i].address == local_) {
      local_ = table_[i + 1].address;
      return true;
    }
  }
  return false;
}

}  // namespace qlmkv::lan
