#include "lan/config_link.h"

#include "lan/address_text.h"
#include "lan/discovery.h"
#include "lan/module_requests.h"

namespace qlmkv::lan {

std::unique_ptr<ConfigLink> ConfigLink::Open(const std::string& address) {
  AdapterChoice adapters;
  const std::string peer = WithoutPort(ResolveAddress(address, adapters));
  if (!ParseIpv4(peer)) return nullptr;
  if (adapters.Table().empty()) adapters.Refill();
  std::unique_ptr<ConfigLink> link(new ConfigLink(peer));
  bool more = adapters.FirstAdapter() || adapters.Table().empty();
  while (more) {
    Bytes record;
    if (link->socket_.Open(adapters.LocalAddress()) && lan::ReadRecord(link->socket_, peer, 0, record)) return link;
    link->socket_.Close();
    more = adapters.NextAdapter();
  }
  return nullptr;
}

bool ConfigLink::ReadRecord(int record, std::vector<std::uint8_t>& out) {
  return lan::ReadRecord(socket_, peer_, record, out);
}

bool ConfigLink::WriteRecord(int record, const std::vector<std::uint8_t>& data) {
  return lan::WriteRecord(socket_, peer_, record, data);
}

bool ConfigLink::Identify(std::vector<std::uint8_t>& out) { return lan::Identify(socket_, peer_, out); }

bool ConfigLink::AssignAddress(const std::uint8_t id[2], const std::uint8_t address[4]) {
  return SendAddressAssignment(socket_, id[0], id[1], {address[0], address[1], address[2], address[3]});
}

void ConfigLink::Restart() { SendRestart(socket_, peer_); }

}  // namespace qlmkv::lan
