#include <winsock2.h>
#include <ws2tcpip.h>
// after winsock2.h
#include <windows.h>

#include <cstdint>

#include "app/base/windows_text.h"
#include "app/connection/tcp_probe.h"

namespace stampwise {

namespace {

std::string SocketReason(int error) {
  // The system's own text, without the "what: " that SystemErrorText puts first.
  return SystemErrorText("", static_cast<unsigned long>(error)).substr(2);
}

}  // namespace

std::optional<std::string> TcpConnectFailure(const std::string& address, int port, int waitMs) {
  WSADATA data{};
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return "Winsock cannot be started";
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<std::uint16_t>(port));
  std::optional<std::string> reason;
  SOCKET sock = INVALID_SOCKET;
  if (::inet_pton(AF_INET, address.c_str(), &peer.sin_addr) != 1) {
    reason = "not an IPv4 address";
  } else if (sock = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP); sock == INVALID_SOCKET) {
    reason = SocketReason(::WSAGetLastError());
  } else {
    u_long nonBlocking = 1;
    ::ioctlsocket(sock, FIONBIO, &nonBlocking);
    int error = 0;
    if (::connect(sock, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
      error = ::WSAGetLastError();
      if (error == WSAEWOULDBLOCK) {
        WSAPOLLFD wait{sock, POLLWRNORM, 0};
        const int ready = ::WSAPoll(&wait, 1, waitMs);
        int length = sizeof error;
        if (ready == 0) {
          error = WSAETIMEDOUT;
        } else if (ready < 0 ||
                   ::getsockopt(sock, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
          error = ::WSAGetLastError();
        }
      }
    }
    if (error != 0) reason = SocketReason(error);
    ::closesocket(sock);
  }
  ::WSACleanup();
  return reason;
}

}  // namespace stampwise
