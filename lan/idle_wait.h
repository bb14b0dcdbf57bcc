// How the LAN waits pass their time on the caller's thread. Without an idle
// pass they block in poll(); with one (installed while a front end has its
// dispatch hook in place) they look at the socket and hand the rest of each
// short slice to the front end, so that a window thread keeps painting while
// a discovery, a configuration request or a ping is under way.
#pragma once

#include <chrono>

#include "lan/socket_api.h"

namespace qlmkv::lan {

// Runs the front end's events for at most `maxBlockMs`.
using IdlePass = void (*)(int maxBlockMs);

// nullptr: block in poll() again.
void SetIdlePass(IdlePass pass);

// True when `fd` has something to read before `deadline`.
bool WaitReadable(SocketHandle fd, std::chrono::steady_clock::time_point deadline);

// Waits `duration`, with the idle pass running when there is one.
void PauseFor(std::chrono::milliseconds duration);

}  // namespace qlmkv::lan
