#include "lan/adapters.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <set>

#include "lan/address_text.h"

namespace qlmkv::lan {

namespace {

struct IfAddrs {
  ifaddrs* list = nullptr;
  IfAddrs() {
    if (::getifaddrs(&list) != 0) list = nullptr;
  }
  ~IfAddrs() {
    if (list != nullptr) ::freeifaddrs(list);
  }
  IfAddrs(const IfAddrs&) = delete;
  IfAddrs& operator=(const IfAddrs&) = delete;
};

in_addr InAddr(const sockaddr* address) { return reinterpret_cast<const sockaddr_in*>(address)->sin_addr; }

bool SameSubnet(const CAdapter& adapter, const std::string& peer) {
  const auto address = ParseIpv4(adapter.address);
  const auto mask = ParseIpv4(adapter.mask);
  const auto other = ParseIpv4(peer);
  if (!address || !mask || !other) return false;
  return (address->s_addr & mask->s_addr) == (other->s_addr & mask->s_addr);
}

}  // namespace

std::vector<CAdapter> EnumerateAdapters() {
  IfAddrs addrs;
  // The link-layer entries tell the hardware type of each interface; Wi-Fi
  // interfaces report Ethernet framing too.
  std::set<std::string> ethernet;
  for (const ifaddrs* it = addrs.list; it != nullptr; it = it->ifa_next) {
    if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_PACKET) continue;
    const auto* link = reinterpret_cast<const sockaddr_ll*>(it->ifa_addr);
    if (link->sll_hatype == ARPHRD_ETHER && (it->ifa_flags & IFF_LOOPBACK) == 0) ethernet.insert(it->ifa_name);
  }
  std::vector<CAdapter> table;
  for (const ifaddrs* it = addrs.list; it != nullptr; it = it->ifa_next) {
    if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET || it->ifa_netmask == nullptr) continue;
    if (ethernet.count(it->ifa_name) == 0) continue;
    const in_addr address = InAddr(it->ifa_addr);
    if (address.s_addr == 0) continue;
    table.push_back({FormatIpv4(address), FormatIpv4(InAddr(it->ifa_netmask)), ::if_nametoindex(it->ifa_name)});
  }
  return table;
}

std::uint32_t InterfaceOfAddress(const std::string& address) {
  IfAddrs addrs;
  for (const ifaddrs* it = addrs.list; it != nullptr; it = it->ifa_next) {
    if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET) continue;
    if (FormatIpv4(InAddr(it->ifa_addr)) == address) return ::if_nametoindex(it->ifa_name);
  }
  return 0;
}

// A connected UDP socket sends nothing; connecting it only asks the routing
// table which source address it would use.
std::string SourceAddressFor(const std::string& peer) {
  const auto address = ParseIpv4(peer);
  if (!address) return {};
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return {};
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
  ::close(fd);
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
