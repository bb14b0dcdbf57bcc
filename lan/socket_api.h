// The socket calls of the LAN side, one set for every system: a handle type,
// non-blocking sockets that raise no signal, errno-style error codes, poll()
// and a wake-up a worker can wait on beside its socket. Each system's file
// (socket_api_posix.cpp, socket_api_win.cpp) carries the differences.
#pragma once

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#endif

#include <cstddef>

namespace qlmkv::lan {

#if defined(_WIN32)
using SocketHandle = SOCKET;
inline const SocketHandle kNoSocket = INVALID_SOCKET;
#else
using SocketHandle = int;
inline constexpr SocketHandle kNoSocket = -1;
#endif

// Starts the system's socket library once per process (nothing to do on Linux).
bool StartSockets();

// A non-blocking IPv4 socket that child processes do not inherit; kNoSocket
// on failure (LastSocketError tells why).
SocketHandle OpenSocket(int type, int protocol = 0);
void CloseSocket(SocketHandle socket);
// The failed call's reason as an errno value: EWOULDBLOCK, EINPROGRESS,
// ECONNREFUSED, EADDRINUSE, ...
int LastSocketError();
// An int option; false when the system refused it.
bool SetSocketOption(SocketHandle socket, int level, int name, int value);

// What went out or came in, or -1 (LastSocketError).
long SendSome(SocketHandle socket, const void* data, std::size_t size);
long ReceiveSome(SocketHandle socket, void* buffer, std::size_t size);
long SendDatagram(SocketHandle socket, const void* data, std::size_t size, const sockaddr_in& peer);
// One datagram; `truncated` tells one longer than the buffer (its length is
// then more than `size`, or at least `size`).
long ReceiveDatagram(SocketHandle socket, void* buffer, std::size_t size, sockaddr_in& sender, bool& truncated);

// poll() over sockets (and, on Linux, any descriptor); -1 with EINTR is an interruption.
int PollSockets(pollfd* fds, std::size_t count, int timeoutMs);

// A handle that turns readable when rung, until drained: wakes a worker
// that waits in PollSockets. An eventfd on Linux, a loopback datagram socket
// talking to itself on Windows.
class WakeSignal {
 public:
  WakeSignal();
  ~WakeSignal();
  WakeSignal(const WakeSignal&) = delete;
  WakeSignal& operator=(const WakeSignal&) = delete;

  bool IsOpen() const { return handle_ != kNoSocket; }
  SocketHandle Handle() const { return handle_; }
  // A failed ring leaves the signal rung already: nothing is lost.
  void Ring();
  void Drain();

 private:
  SocketHandle handle_ = kNoSocket;
};

}  // namespace qlmkv::lan
