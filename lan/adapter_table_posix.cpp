// The adapter table on Linux, from getifaddrs().
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <sys/socket.h>

#include <set>

#include "lan/adapters.h"
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

}  // namespace qlmkv::lan
