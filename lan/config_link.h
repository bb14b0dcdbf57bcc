// The configuration link to one LAN module: a service-port socket on the
// adapter through which the module answered, with the module as its peer.
#pragma once

#include <memory>
#include <string>

#include "lan/datagram_socket.h"
#include "lan/lan.h"

namespace qlmkv::lan {

class ConfigLink final : public LanConfigLink {
 public:
  // Resolves the address text (a "-port" suffix is dropped) and tries each
  // adapter until the module answers a record-0 read there. Null when none does.
  static std::unique_ptr<ConfigLink> Open(const std::string& address);

  const std::string& Peer() const { return peer_; }

  bool ReadRecord(int record, std::vector<std::uint8_t>& out) override;
  bool WriteRecord(int record, const std::vector<std::uint8_t>& data) override;
  bool Identify(std::vector<std::uint8_t>& out) override;
  bool AssignAddress(const std::uint8_t id[2], const std::uint8_t address[4]) override;
  void Restart() override;

 private:
  explicit ConfigLink(std::string peer) : peer_(std::move(peer)) {}

  std::string peer_;
  DatagramSocket socket_;
};

}  // namespace qlmkv::lan
