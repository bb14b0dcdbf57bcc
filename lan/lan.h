// What the reader connections need from the LAN side: TCP links to reader
// modules, discovery of modules, their configuration service and the ping.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/link.h"

namespace qlmkv {

// Opens a TCP link to a reader module by address text ("a.b.c.d", "a.b.c.d-port",
// "[name]"). Returns nullptr when it cannot connect.
std::unique_ptr<Transport> OpenLanTransport(const std::string& address, ByteSink& sink);

// Names of the reader modules found on the local networks within `collectMs`.
std::vector<std::string> ListLanReaders(int collectMs, bool readerCheck);

// The datagram configuration service of one module.
class LanConfigLink {
 public:
  virtual ~LanConfigLink() = default;
  virtual bool ReadRecord(int record, std::vector<std::uint8_t>& out) = 0;
  virtual bool WriteRecord(int record, const std::vector<std::uint8_t>& data) = 0;
  virtual bool Identify(std::vector<std::uint8_t>& out) = 0;
  virtual bool AssignAddress(const std::uint8_t id[2], const std::uint8_t address[4]) = 0;
  virtual void Restart() = 0;
};
std::unique_ptr<LanConfigLink> OpenLanConfigLink(const std::string& address);

// One ICMP echo to `address`, answered within the time-out.
bool PingAddress(const std::string& address, int timeoutMs);

}  // namespace qlmkv
