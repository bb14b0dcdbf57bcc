// Listening sockets of mkv-sim: TCP on loopback only, and the Unix stream
// socket of the control channel. Both throw std::runtime_error on failure.
#pragma once

#include <cstdint>
#include <string>

namespace mkvsim {

// Port 0 picks a free port; BoundPort tells which.
int ListenLoopbackTcp(std::uint16_t port);
// On every local address (a LAN module inside its own network namespace).
int ListenAnyTcp(std::uint16_t port);
// A datagram socket on every local address, broadcasts received.
int BindAnyUdp(std::uint16_t port);
std::uint16_t BoundPort(int fd);
// Removes a stale socket file at `path` first.
int ListenUnix(const std::string& path);
// Accepts one connection, non-blocking and close-on-exec; -1 when none was waiting.
int AcceptClient(int listenFd);

}  // namespace mkvsim
