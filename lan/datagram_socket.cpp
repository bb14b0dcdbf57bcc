#include "lan/datagram_socket.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "lan/address_text.h"
#include "lan/idle_wait.h"

namespace qlmkv::lan {

namespace {

// Discovery, name search and configuration links of one process take turns
// on the service port. Not a mutex: a configuration link may be closed on
// another thread than the one that opened it.
class ServicePortTurn {
 public:
  bool Take(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    if (!released_.wait_for(lock, limit, [this] { return !held_; })) return false;
    held_ = true;
    return true;
  }
  void Give() {
    {
      std::lock_guard lock(mutex_);
      held_ = false;
    }
    released_.notify_one();
  }

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  bool held_ = false;
};

ServicePortTurn& ServicePort() {
  static ServicePortTurn turn;
  return turn;
}
constexpr auto kPortWaitLimit = std::chrono::seconds(3);

Ipv4Bytes BytesOf(in_addr address) {
  Ipv4Bytes bytes{};
  std::memcpy(bytes.data(), &address.s_addr, 4);
  return bytes;
}

}  // namespace

bool DatagramSocket::Open(const std::string& localAddress, std::uint16_t localPort) {
  Close();
  if (!ServicePort().Take(kPortWaitLimit)) return false;
  holdsPort_ = true;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(localPort);
  if (!localAddress.empty()) {
    const auto parsed = ParseIpv4(localAddress);
    if (!parsed) return Close(), false;
    local.sin_addr = *parsed;
  }
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return Close(), false;
  const int on = 1;
  // A refused broadcast option only keeps the broadcasts from going out.
  ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    ::close(fd);
    Close();
    return false;
  }
  fd_ = fd;
  localAddress_ = localAddress;
  return true;
}

void DatagramSocket::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  localAddress_.clear();
  if (holdsPort_) ServicePort().Give();
  holdsPort_ = false;
}

bool DatagramSocket::SendTo(const std::string& address, const Bytes& bytes) {
  const auto parsed = ParseIpv4(address);
  if (fd_ < 0 || !parsed || bytes.empty()) return false;
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(kServicePort);
  peer.sin_addr = *parsed;
  ssize_t sent;
  do {
    sent = ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&peer), sizeof peer);
  } while (sent < 0 && errno == EINTR);
  return sent == static_cast<ssize_t>(bytes.size());
}

std::optional<Datagram> DatagramSocket::Receive(Clock::time_point deadline) {
  if (fd_ < 0) return std::nullopt;
  for (;;) {
    if (!WaitReadable(fd_, deadline)) return std::nullopt;
    // One byte more than a module sends, so that MSG_TRUNC tells an
    // oversized datagram apart from one of the largest size.
    std::uint8_t buffer[kMaxDatagram + 1];
    sockaddr_in sender{};
    socklen_t senderSize = sizeof sender;
    const ssize_t n =
        ::recvfrom(fd_, buffer, sizeof buffer, MSG_TRUNC, reinterpret_cast<sockaddr*>(&sender), &senderSize);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK || errno == ECONNREFUSED) continue;
      return std::nullopt;
    }
    if (senderSize < sizeof sender || sender.sin_family != AF_INET) continue;
    if (!localAddress_.empty() && FormatIpv4(sender.sin_addr) == localAddress_) continue;
    if (auto datagram = ParseDatagram(BytesOf(sender.sin_addr), buffer, static_cast<std::size_t>(n))) return datagram;
  }
}

}  // namespace qlmkv::lan
