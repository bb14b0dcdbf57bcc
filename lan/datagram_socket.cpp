#include "lan/datagram_socket.h"

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
  const SocketHandle fd = OpenSocket(SOCK_DGRAM);
  if (fd == kNoSocket) return Close(), false;
  // A refused broadcast option only keeps the broadcasts from going out.
  SetSocketOption(fd, SOL_SOCKET, SO_BROADCAST, 1);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    CloseSocket(fd);
    Close();
    return false;
  }
  fd_ = fd;
  localAddress_ = localAddress;
  return true;
}

void DatagramSocket::Close() {
  CloseSocket(fd_);
  fd_ = kNoSocket;
  localAddress_.clear();
  if (holdsPort_) ServicePort().Give();
  holdsPort_ = false;
}

bool DatagramSocket::SendTo(const std::string& address, const Bytes& bytes) {
  const auto parsed = ParseIpv4(address);
  if (fd_ == kNoSocket || !parsed || bytes.empty()) return false;
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(kServicePort);
  peer.sin_addr = *parsed;
  return SendDatagram(fd_, bytes.data(), bytes.size(), peer) == static_cast<long>(bytes.size());
}

std::optional<Datagram> DatagramSocket::Receive(Clock::time_point deadline) {
  if (fd_ == kNoSocket) return std::nullopt;
  for (;;) {
    if (!WaitReadable(fd_, deadline)) return std::nullopt;
    // One byte more than a module sends, so that an oversized datagram
    // shows apart from one of the largest size.
    std::uint8_t buffer[kMaxDatagram + 1];
    sockaddr_in sender{};
    bool truncated = false;
    const long n = ReceiveDatagram(fd_, buffer, sizeof buffer, sender, truncated);
    if (n < 0) {
      const int error = LastSocketError();
      if (error == EAGAIN || error == EWOULDBLOCK || error == ECONNREFUSED) continue;
      return std::nullopt;
    }
    if (truncated || sender.sin_family != AF_INET) continue;
    if (!localAddress_.empty() && FormatIpv4(sender.sin_addr) == localAddress_) continue;
    if (auto datagram = ParseDatagram(BytesOf(sender.sin_addr), buffer, static_cast<std::size_t>(n))) return datagram;
  }
}

}  // namespace qlmkv::lan
