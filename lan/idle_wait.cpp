#include "lan/idle_wait.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <thread>

namespace qlmkv::lan {

namespace {

using Clock = std::chrono::steady_clock;

// Short enough that a reply is taken within a few milliseconds of its arrival
// while the front end runs its events.
constexpr auto kSlice = std::chrono::milliseconds(5);

std::atomic<IdlePass> g_idlePass{nullptr};

int MillisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// One poll of `fd`; -1 on an error other than an interruption.
int PollOnce(SocketHandle fd, int timeoutMs) {
  pollfd pfd{fd, POLLIN, 0};
  const int ready = PollSockets(&pfd, 1, timeoutMs);
  if (ready < 0) return LastSocketError() == EINTR ? 0 : -1;
  return ready;
}

}  // namespace

void SetIdlePass(IdlePass pass) { g_idlePass.store(pass); }

bool WaitReadable(SocketHandle fd, Clock::time_point deadline) {
  for (;;) {
    const int left = MillisecondsUntil(deadline);
    const IdlePass pass = g_idlePass.load();
    if (pass == nullptr) {
      if (left == 0) return PollOnce(fd, 0) > 0;
      const int ready = PollOnce(fd, left);
      if (ready != 0) return ready > 0;
      continue;
    }
    const int ready = PollOnce(fd, 0);
    if (ready != 0) return ready > 0;
    if (left == 0) return false;
    pass(std::min(left, static_cast<int>(kSlice.count())));
  }
}

void PauseFor(std::chrono::milliseconds duration) {
  const auto until = Clock::now() + duration;
  for (int left = MillisecondsUntil(until); left > 0; left = MillisecondsUntil(until)) {
    if (const IdlePass pass = g_idlePass.load()) {
      pass(std::min(left, static_cast<int>(kSlice.count())));
    } else {
      std::this_thread::sleep_until(until);
    }
  }
}

}  // namespace qlmkv::lan
