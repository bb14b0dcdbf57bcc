#include "lan/ping.h"

#include <netinet/ip.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "lan/idle_wait.h"

namespace qlmkv::lan {

namespace {

constexpr std::uint8_t kEchoRequestType = 8;
constexpr std::uint8_t kEchoReplyType = 0;
constexpr std::size_t kIcmpHeader = 8;
constexpr std::size_t kMaxReply = 65536;

std::uint16_t NextSequence() {
  static std::atomic<std::uint16_t> sequence{0};
  return ++sequence;
}

std::uint16_t Read16(const std::uint8_t* at) { return static_cast<std::uint16_t>((at[0] << 8) | at[1]); }

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

std::uint16_t InternetChecksum(const std::uint8_t* data, std::size_t size) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < size; i += 2) sum += Read16(data + i);
  if (size % 2 != 0) sum += static_cast<std::uint32_t>(data[size - 1]) << 8;
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

std::vector<std::uint8_t> EchoRequest(std::uint16_t id, std::uint16_t sequence, std::size_t dataSize) {
  std::vector<std::uint8_t> request(kIcmpHeader + dataSize, kEchoFiller);
  request[0] = kEchoRequestType;
  request[1] = 0;
  request[2] = request[3] = 0;
  request[4] = static_cast<std::uint8_t>(id >> 8);
  request[5] = static_cast<std::uint8_t>(id);
  request[6] = static_cast<std::uint8_t>(sequence >> 8);
  request[7] = static_cast<std::uint8_t>(sequence);
  const std::uint16_t checksum = InternetChecksum(request.data(), request.size());
  request[2] = static_cast<std::uint8_t>(checksum >> 8);
  request[3] = static_cast<std::uint8_t>(checksum);
  return request;
}

EchoMatch MatchEchoReply(const std::uint8_t* icmp, std::size_t size, std::uint16_t id, std::uint16_t sequence,
                         std::size_t dataSize, bool checkId) {
  if (icmp == nullptr || size < kIcmpHeader || icmp[0] != kEchoReplyType || icmp[1] != 0) return EchoMatch::kOther;
  if (Read16(icmp + 6) != sequence || (checkId && Read16(icmp + 4) != id)) return EchoMatch::kOther;
  if (size != kIcmpHeader + dataSize) return EchoMatch::kAltered;
  for (std::size_t i = kIcmpHeader; i < size; ++i)
    if (icmp[i] != kEchoFiller) return EchoMatch::kAltered;
  return EchoMatch::kAnswer;
}

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
