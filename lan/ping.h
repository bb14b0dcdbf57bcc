// One ICMP echo: an unprivileged ICMP datagram socket where the system
// allows it, else a raw socket; with neither every echo fails at once.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "lan/socket_api.h"

namespace qlmkv::lan {

struct EchoOptions {
  int timeToLive = 30;
  std::chrono::milliseconds timeout{200};
  std::size_t dataSize = 16;
  int typeOfService = 0;
  bool dontFragment = true;
};

class CPing {
 public:
  // True when one reply with the unchanged data came back within the time-out.
  bool Echo(in_addr host, const EchoOptions& options = {});
};

constexpr std::uint8_t kEchoFiller = 0x45;

// The echo request: type 8, the identifier and sequence, the filler bytes.
std::vector<std::uint8_t> EchoRequest(std::uint16_t id, std::uint16_t sequence, std::size_t dataSize);
// Whether `icmp` (an ICMP message without IP header) is the reply to that
// request. `checkId` is off for datagram sockets, where the kernel sets the
// identifier and delivers only the socket's own replies.
enum class EchoMatch { kOther, kAnswer, kAltered };
EchoMatch MatchEchoReply(const std::uint8_t* icmp, std::size_t size, std::uint16_t id, std::uint16_t sequence,
                         std::size_t dataSize, bool checkId);
std::uint16_t InternetChecksum(const std::uint8_t* data, std::size_t size);

}  // namespace qlmkv::lan
