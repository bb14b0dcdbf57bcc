// The module's datagram service on UDP 30718, and the moves of the module to
// a new address on its network interface (inside the network namespace the
// operator started mkv-sim in).
#pragma once

#include <optional>
#include <string>

#include "sim/lan_module.h"

namespace mkvsim {

struct LanServiceOptions {
  LanModuleOptions module;
  // The interface whose address the module owns; empty: addresses are
  // only recorded, never changed.
  std::string interfaceName;
  // Where automatic addressing puts the module; none: it keeps its address.
  std::optional<Ipv4> automaticAddress;
};

class LanService {
 public:
  // Throws std::runtime_error when the service port cannot be bound.
  LanService(const LanServiceOptions& options, bool quiet);
  ~LanService();
  LanService(const LanService&) = delete;
  LanService& operator=(const LanService&) = delete;

  int Fd() const { return fd_; }
  LanModule& Module() { return module_; }

  // Serves the waiting datagrams; true when the module restarted, so the
  // server moves its reader channel to the record's port.
  bool Serve();

 private:
  void MoveTo(const Ipv4& address, int hostBits);
  void Restart();

  LanServiceOptions options_;
  bool quiet_;
  LanModule module_;
  int fd_ = -1;
};

}  // namespace mkvsim
