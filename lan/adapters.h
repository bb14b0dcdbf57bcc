// The local network addresses a LAN module may be reached through, and the
// choice of the one to send from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qlmkv::lan {

// One IPv4 address of a local Ethernet-type interface (Wi-Fi included).
struct CAdapter {
  std::string address;
  std::string mask;
  std::uint32_t interfaceIndex = 0;
};

// In the system's order; loopback, tunnels and 0.0.0.0 never appear.
std::vector<CAdapter> EnumerateAdapters();

// The address the kernel would send from to `peer` (a dotted address), or
// empty when there is no route.
std::string SourceAddressFor(const std::string& peer);

// The adapter table with a current local address, as discovery and the
// links walk it. An empty local address means "any".
class AdapterChoice {
 public:
  AdapterChoice() = default;
  explicit AdapterChoice(std::vector<CAdapter> table) : table_(std::move(table)) {}

  const std::vector<CAdapter>& Table() const { return table_; }
  void Refill() { table_ = EnumerateAdapters(); }
  const std::string& LocalAddress() const { return local_; }

  // Takes the adapter of the best route to `peer` whose subnet holds the
  // peer; false when there is no route (the local address is kept).
  bool SelectAdapterFor(const std::string& peer);
  // Picks among adapters on the interface with `interfaceIndex`.
  void SelectOnInterface(std::uint32_t interfaceIndex, const std::string& peer);
  bool FirstAdapter();
  bool NextAdapter();

 private:
  std::vector<CAdapter> table_;
  std::string local_;
};

// Interface index of a local address (any interface type), 0 when none holds it.
std::uint32_t InterfaceOfAddress(const std::string& address);

}  // namespace qlmkv::lan
