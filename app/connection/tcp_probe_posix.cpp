#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "app/connection/tcp_probe.h"

namespace stampwise {

std::optional<std::string> TcpConnectFailure(const std::string& address, int port, int waitMs) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::inet_pton(AF_INET, address.c_str(), &peer.sin_addr) != 1) return "not an IPv4 address";
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::strerror(errno);
  int error = 0;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
    error = errno;
    if (error == EINPROGRESS) {
      pollfd wait{fd, POLLOUT, 0};
      const int ready = ::poll(&wait, 1, waitMs);
      socklen_t length = sizeof error;
      if (ready == 0) {
        error = ETIMEDOUT;
      } else if (ready < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        error = errno;
      }
    }
  }
  ::close(fd);
  if (error == 0) return std::nullopt;
  return std::strerror(error);
}

}  // namespace stampwise
