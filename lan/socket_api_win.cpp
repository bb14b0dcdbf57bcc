#include <cerrno>
#include <mutex>

#include "lan/socket_api.h"

namespace qlmkv::lan {

namespace {

int ErrnoOf(int code) {
  switch (code) {
    case WSAEWOULDBLOCK: return EWOULDBLOCK;
    case WSAEINPROGRESS: return EINPROGRESS;
    case WSAEALREADY: return EALREADY;
    case WSAEINTR: return EINTR;
    case WSAECONNREFUSED: return ECONNREFUSED;
    case WSAECONNRESET: return ECONNRESET;
    case WSAECONNABORTED: return ECONNABORTED;
    case WSAETIMEDOUT: return ETIMEDOUT;
    case WSAEADDRINUSE: return EADDRINUSE;
    case WSAEADDRNOTAVAIL: return EADDRNOTAVAIL;
    case WSAEMFILE: return EMFILE;
    case WSAENOBUFS: return ENOBUFS;
    case WSAEMSGSIZE: return EMSGSIZE;
    case WSAENETUNREACH: return ENETUNREACH;
    case WSAEHOSTUNREACH: return EHOSTUNREACH;
    default: return code;  // above every errno value: never mistaken for one
  }
}

int Clamp(std::size_t size) { return size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size); }

}  // namespace

bool StartSockets() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] {
    WSADATA data;
    started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  });
  return started;
}

SocketHandle OpenSocket(int type, int protocol) {
  if (!StartSockets()) return kNoSocket;
  const SocketHandle socket = WSASocketW(AF_INET, type, protocol, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (socket == INVALID_SOCKET) return kNoSocket;
  u_long nonBlocking = 1;
  if (ioctlsocket(socket, FIONBIO, &nonBlocking) != 0) {
    closesocket(socket);
    return kNoSocket;
  }
  return socket;
}

void CloseSocket(SocketHandle socket) {
  if (socket != INVALID_SOCKET) closesocket(socket);
}

int LastSocketError() { return ErrnoOf(WSAGetLastError()); }

bool SetSocketOption(SocketHandle socket, int level, int name, int value) {
  return setsockopt(socket, level, name, reinterpret_cast<const char*>(&value), sizeof value) == 0;
}

long SendSome(SocketHandle socket, const void* data, std::size_t size) {
  const int n = send(socket, static_cast<const char*>(data), Clamp(size), 0);
  return n == SOCKET_ERROR ? -1 : n;
}

long ReceiveSome(SocketHandle socket, void* buffer, std::size_t size) {
  const int n = recv(socket, static_cast<char*>(buffer), Clamp(size), 0);
  return n == SOCKET_ERROR ? -1 : n;
}

long SendDatagram(SocketHandle socket, const void* data, std::size_t size, const sockaddr_in& peer) {
  const int n = sendto(socket, static_cast<const char*>(data), Clamp(size), 0, reinterpret_cast<const sockaddr*>(&peer),
                       sizeof peer);
  return n == SOCKET_ERROR ? -1 : n;
}

long ReceiveDatagram(SocketHandle socket, void* buffer, std::size_t size, sockaddr_in& sender, bool& truncated) {
  int senderSize = sizeof sender;
  const int n =
      recvfrom(socket, static_cast<char*>(buffer), Clamp(size), 0, reinterpret_cast<sockaddr*>(&sender), &senderSize);
  truncated = false;
  if (n != SOCKET_ERROR) {
    if (senderSize < static_cast<int>(sizeof sender) || sender.sin_family != AF_INET) sender = {};
    return n;
  }
  const int code = WSAGetLastError();
  // An oversized datagram fills the buffer and reports its cut.
  if (code == WSAEMSGSIZE) {
    truncated = true;
    return static_cast<long>(size);
  }
  // A port-unreachable answer to an earlier datagram of this socket.
  if (code == WSAECONNRESET) WSASetLastError(WSAECONNREFUSED);
  return -1;
}

int PollSockets(pollfd* fds, std::size_t count, int timeoutMs) {
  return WSAPoll(fds, static_cast<ULONG>(count), timeoutMs);
}

WakeSignal::WakeSignal() {
  handle_ = OpenSocket(SOCK_DGRAM, IPPROTO_UDP);
  if (handle_ == kNoSocket) return;
  sockaddr_in self{};
  self.sin_family = AF_INET;
  self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof self;
  const bool bound = bind(handle_, reinterpret_cast<sockaddr*>(&self), sizeof self) == 0 &&
                     getsockname(handle_, reinterpret_cast<sockaddr*>(&self), &size) == 0 &&
                     connect(handle_, reinterpret_cast<sockaddr*>(&self), sizeof self) == 0;
  if (!bound) {
    CloseSocket(handle_);
    handle_ = kNoSocket;
  }
}

WakeSignal::~WakeSignal() { CloseSocket(handle_); }

void WakeSignal::Ring() {
  const char one = 1;
  if (handle_ != kNoSocket) send(handle_, &one, 1, 0);
}

void WakeSignal::Drain() {
  char bytes[64];
  while (handle_ != kNoSocket && recv(handle_, bytes, sizeof bytes, 0) > 0) {
  }
}

}  // namespace qlmkv::lan
