// The adapter table on Windows, from the IP helper's adapter list.
#include <winsock2.h>
// winsock2.h first: the IP helper's headers build on it.
#include <iphlpapi.h>

#include <vector>

#include "lan/adapters.h"
#include "lan/address_text.h"

namespace qlmkv::lan {

namespace {

// The adapters with their unicast addresses, or empty when the list cannot be read.
std::vector<unsigned char> AdapterList() {
  ULONG size = 16 * 1024;
  std::vector<unsigned char> buffer;
  for (int attempt = 0; attempt < 3; ++attempt) {
    buffer.resize(size);
    const ULONG result =
        GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
                             nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    if (result == ERROR_SUCCESS) return buffer;
    if (result != ERROR_BUFFER_OVERFLOW) break;
  }
  return {};
}

template <typename Visit>
void ForEachAddress(Visit visit) {
  std::vector<unsigned char> list = AdapterList();
  if (list.empty()) return;
  for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(list.data()); adapter != nullptr;
       adapter = adapter->Next) {
    for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr; unicast = unicast->Next) {
      if (unicast->Address.lpSockaddr == nullptr || unicast->Address.lpSockaddr->sa_family != AF_INET) continue;
      visit(*adapter, *unicast, reinterpret_cast<const sockaddr_in*>(unicast->Address.lpSockaddr)->sin_addr);
    }
  }
}

in_addr MaskOf(unsigned prefixLength) {
  in_addr mask{};
  mask.s_addr = prefixLength == 0 ? 0 : htonl(0xFFFFFFFFu << (32 - (prefixLength > 32 ? 32 : prefixLength)));
  return mask;
}

}  // namespace

std::vector<CAdapter> EnumerateAdapters() {
  std::vector<CAdapter> table;
  ForEachAddress([&](const IP_ADAPTER_ADDRESSES& adapter, const IP_ADAPTER_UNICAST_ADDRESS& unicast, in_addr address) {
    const bool ethernet = adapter.IfType == IF_TYPE_ETHERNET_CSMACD || adapter.IfType == IF_TYPE_IEEE80211;
    if (!ethernet || address.s_addr == 0) return;
    table.push_back({FormatIpv4(address), FormatIpv4(MaskOf(unicast.OnLinkPrefixLength)), adapter.IfIndex});
  });
  return table;
}

std::uint32_t InterfaceOfAddress(const std::string& address) {
  std::uint32_t index = 0;
  ForEachAddress([&](const IP_ADAPTER_ADDRESSES& adapter, const IP_ADAPTER_UNICAST_ADDRESS&, in_addr found) {
    if (index == 0 && FormatIpv4(found) == address) index = adapter.IfIndex;
  });
  return index;
}

}  // namespace qlmkv::lan
