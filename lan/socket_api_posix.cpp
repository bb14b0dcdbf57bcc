#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "lan/socket_api.h"

namespace qlmkv::lan {

bool StartSockets() { return true; }

SocketHandle OpenSocket(int type, int protocol) {
  return ::socket(AF_INET, type | SOCK_CLOEXEC | SOCK_NONBLOCK, protocol);
}

void CloseSocket(SocketHandle socket) {
  if (socket >= 0) ::close(socket);
}

int LastSocketError() { return errno; }

bool SetSocketOption(SocketHandle socket, int level, int name, int value) {
  return ::setsockopt(socket, level, name, &value, sizeof value) == 0;
}

long SendSome(SocketHandle socket, const void* data, std::size_t size) {
  ssize_t n;
  do {
    n = ::send(socket, data, size, MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return static_cast<long>(n);
}

long ReceiveSome(SocketHandle socket, void* buffer, std::size_t size) {
  ssize_t n;
  do {
    n = ::recv(socket, buffer, size, 0);
  } while (n < 0 && errno == EINTR);
  return static_cast<long>(n);
}

long SendDatagram(SocketHandle socket, const void* data, std::size_t size, const sockaddr_in& peer) {
  ssize_t n;
  do {
    n = ::sendto(socket, data, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
  } while (n < 0 && errno == EINTR);
  return static_cast<long>(n);
}

long ReceiveDatagram(SocketHandle socket, void* buffer, std::size_t size, sockaddr_in& sender, bool& truncated) {
  socklen_t senderSize = sizeof sender;
  ssize_t n;
  do {
    // MSG_TRUNC: the datagram's whole length, so an oversized one shows.
    n = ::recvfrom(socket, buffer, size, MSG_TRUNC, reinterpret_cast<sockaddr*>(&sender), &senderSize);
  } while (n < 0 && errno == EINTR);
  if (n >= 0 && (senderSize < sizeof sender || sender.sin_family != AF_INET)) sender = {};
  truncated = n > static_cast<ssize_t>(size);
  return static_cast<long>(n);
}

int PollSockets(pollfd* fds, std::size_t count, int timeoutMs) {
  return ::poll(fds, static_cast<nfds_t>(count), timeoutMs);
}

WakeSignal::WakeSignal() : handle_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeSignal::~WakeSignal() { CloseSocket(handle_); }

void WakeSignal::Ring() {
  const std::uint64_t one = 1;
  // A full counter already wakes the worker.
  if (handle_ >= 0 && ::write(handle_, &one, sizeof one) < 0) return;
}

void WakeSignal::Drain() {
  std::uint64_t count;
  while (handle_ >= 0 && ::read(handle_, &count, sizeof count) > 0) {
  }
}

}  // namespace qlmkv::lan
