// One datagram socket on the module service port, bound to one local
// address. Only one such socket of the process holds the port at a time;
// opening waits a bounded time for the holder to close.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "lan/datagram.h"
#include "lan/socket_api.h"

namespace qlmkv::lan {

class DatagramSocket {
 public:
  using Clock = std::chrono::steady_clock;

  DatagramSocket() = default;
  ~DatagramSocket() { Close(); }
  DatagramSocket(const DatagramSocket&) = delete;
  DatagramSocket& operator=(const DatagramSocket&) = delete;

  // Binds `localAddress` (empty: any) on `localPort` with broadcast allowed.
  bool Open(const std::string& localAddress, std::uint16_t localPort = kServicePort);
  void Close();
  bool IsOpen() const { return fd_ != kNoSocket; }
  const std::string& LocalAddress() const { return localAddress_; }

  // To a dotted address ("255.255.255.255" broadcasts) on the service port.
  bool SendTo(const std::string& address, const Bytes& bytes);

  // The next acceptable datagram that arrives before `deadline`: not from
  // this socket's own address, not shorter than a header, not longer than
  // a module sends.
  std::optional<Datagram> Receive(Clock::time_point deadline);

 private:
  SocketHandle fd_ = kNoSocket;
  std::string localAddress_;
  bool holdsPort_ = false;
};

// Waits for a datagram that `accept` takes, in a window of `window` that
// restarts with every datagram received (`restartOnAny`) or only with every
// accepted one. Returns false when a window passed without one.
template <typename Accept>
bool AwaitReplies(DatagramSocket& socket, std::chrono::milliseconds window, bool restartOnAny, Accept accept) {
  auto deadline = DatagramSocket::Clock::now() + window;
  for (;;) {
    std::optional<Datagram> datagram = socket.Receive(deadline);
    if (!datagram) return false;
    const bool accepted = accept(*datagram);
    if (accepted || restartOnAny) deadline = DatagramSocket::Clock::now() + window;
    if (accepted) return true;
  }
}

// Hands every datagram to `take` until `window` passed without one that
// `take` accepted (returned true for); the window restarts with each.
template <typename Take>
void CollectReplies(DatagramSocket& socket, std::chrono::milliseconds window, Take take) {
  auto deadline = DatagramSocket::Clock::now() + window;
  while (std::optional<Datagram> datagram = socket.Receive(deadline)) {
    if (take(*datagram)) deadline = DatagramSocket::Clock::now() + window;
  }
}

}  // namespace qlmkv::lan
