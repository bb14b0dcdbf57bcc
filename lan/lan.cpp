// The LAN entry points of the reader core.
#include "lan/lan.h"

#include "lan/address_text.h"
#include "lan/config_link.h"
#include "lan/discovery.h"
#include "lan/ping.h"
#include "lan/tcp_link.h"

namespace qlmkv {

using namespace lan;

std::unique_ptr<Transport> OpenLanTransport(const std::string& address, ByteSink& sink) {
  AdapterChoice adapters;
  // A module name nobody answers to leaves nothing to connect to.
  const std::string resolved = ResolveAddress(address, adapters);
  const auto peer = SplitPort(resolved);
  if (!peer || !ParseIpv4(peer->host)) return nullptr;
  adapters.SelectAdapterFor(peer->host);
  auto link = std::make_unique<CTCPSocketThread>(sink);
  if (!link->ConnectReader(resolved, adapters.LocalAddress())) return nullptr;
  return link;
}

std::vector<std::string> ListLanReaders(int collectMs, bool readerCheck) {
  return ListModules(std::chrono::milliseconds(collectMs < 0 ? 0 : collectMs), readerCheck);
}

std::unique_ptr<LanConfigLink> OpenLanConfigLink(const std::string& address) { return ConfigLink::Open(address); }

bool PingAddress(const std::string& address, int timeoutMs) {
  AdapterChoice adapters;
  const std::string host = WithoutPort(ResolveAddress(address, adapters));
  if (host.empty()) return false;
  std::optional<in_addr> target = ParseIpv4(host);
  if (!target) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (!StartSockets() || ::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
    target = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
  }
  EchoOptions options;
  options.timeout = std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  return CPing().Echo(*target, options);
}

}  // namespace qlmkv
