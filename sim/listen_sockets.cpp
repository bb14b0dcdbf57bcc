#include "sim/listen_sockets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace mkvsim {

namespace {

[[noreturn]] void Fail(int fd, const std::string& what) {
  const int err = errno;
  if (fd >= 0) ::close(fd);
  throw std::runtime_error(what + ": " + std::strerror(err));
}

int ListenTcp(in_addr_t address, std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) Fail(fd, "socket");
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(address);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) Fail(fd, "bind TCP");
  if (::listen(fd, 4) != 0) Fail(fd, "listen");
  return fd;
}

}  // namespace

int ListenLoopbackTcp(std::uint16_t port) { return ListenTcp(INADDR_LOOPBACK, port); }
int ListenAnyTcp(std::uint16_t port) { return ListenTcp(INADDR_ANY, port); }

int BindAnyUdp(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) Fail(fd, "socket");
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) Fail(fd, "bind UDP");
  return fd;
}

std::uint16_t BoundPort(int fd) {
  sockaddr_in addr{};
  socklen_t size = sizeof addr;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &size) != 0) return 0;
  return ntohs(addr.sin_port);
}

int ListenUnix(const std::string& path) {
  sockaddr_un addr{};
  if (path.size() >= sizeof addr.sun_path) throw std::runtime_error("control path too long: " + path);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) Fail(fd, "socket");
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) ::unlink(path.c_str());
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) Fail(fd, "bind " + path);
  if (::listen(fd, 4) != 0) Fail(fd, "listen");
  return fd;
}

int AcceptClient(int listenFd) { return ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC); }

}  // namespace mkvsim
