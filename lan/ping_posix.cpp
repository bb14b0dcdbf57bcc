// The echo on Linux: an ICMP socket of our own, waited on like the others.
#include <netinet/ip.h>
#include <unistd.h>

#include <atomic>

#include "lan/idle_wait.h"
#include "lan/ping.h"

namespace qlmkv::lan {

namespace {

constexpr std::size_t kMaxReply = 65536;

std::uint16_t NextSequence() {
  static std::atomic<std::uint16_t> sequence{0};
  return ++sequence;
}

// The datagram kind first (no privileges); raw sockets need CAP_NET_RAW.
int OpenIcmpSocket(bool& raw) {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_ICMP);
  raw = false;
  if (fd >= 0) return fd;
  fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_ICMP);
  raw = fd >= 0;
  return fd;
}

void SetIpOptions(int fd, const EchoOptions& options) {
  const int ttl = options.timeToLive;
  ::setsockopt(fd, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);
  const int tos = options.typeOfService;
  ::setsockopt(fd, IPPROTO_IP, IP_TOS, &tos, sizeof tos);
  const int pmtu = options.dontFragment ? IP_PMTUDISC_DO : IP_PMTUDISC_DONT;
  ::setsockopt(fd, IPPROTO_IP, IP_MTU_DISCOVER, &pmtu, sizeof pmtu);
}

}  // namespace

bool CPing::Echo(in_addr host, const EchoOptions& options) {
  bool raw = false;
  const int fd = OpenIcmpSocket(raw);
  if (fd < 0) return false;
  SetIpOptions(fd, options);
  const std::uint16_t id = static_cast<std::uint16_t>(::getpid());
  const std::uint16_t sequence = NextSequence();
  const std::vector<std::uint8_t> request = EchoRequest(id, sequence, options.dataSize);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_addr = host;
  bool answered = false;
  if (::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&peer), sizeof peer) ==
      static_cast<ssize_t>(request.size())) {
    const auto deadline = std::chrono::steady_clock::now() + options.timeout;
    std::vector<std::uint8_t> buffer(kMaxReply);
    for (;;) {
      if (!WaitReadable(fd, deadline)) break;
      sockaddr_in from{};
      socklen_t fromSize = sizeof from;
      const ssize_t n = ::recvfrom(fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromSize);
      if (n <= 0 || from.sin_addr.s_addr != host.s_addr) continue;
      const std::uint8_t* icmp = buffer.data();
      std::size_t size = static_cast<std::size_t>(n);
      // A raw socket passes the IP header along.
      if (raw) {
        const std::size_t ipHeader = size > 0 ? static_cast<std::size_t>(buffer[0] & 0x0F) * 4 : 0;
        if (ipHeader < 20 || ipHeader > size) continue;
        icmp += ipHeader;
        size -= ipHeader;
      }
      const EchoMatch match = MatchEchoReply(icmp, size, id, sequence, options.dataSize, raw);
      if (match == EchoMatch::kOther) continue;
      answered = match == EchoMatch::kAnswer;
      break;
    }
  }
  ::close(fd);
  return answered;
}

}  // namespace qlmkv::lan
