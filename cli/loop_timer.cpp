#include "cli/loop_timer.h"

#include <signal.h>

#include <cerrno>
#include <ctime>

namespace stampwise::cli {
namespace {

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  // A closed terminal or ssh session: stop as for SIGTERM, after the tag in
  // hand and its log line, instead of dying between the two.
  sigaddset(&set, SIGHUP);
  return set;
}

// Sleeps for `duration` unless a stop signal arrives first; true for a signal.
bool StopSignalWithin(std::chrono::steady_clock::duration duration) {
  if (duration < std::chrono::steady_clock::duration::zero()) duration = {};
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(duration).count();
  timespec timeout{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
  const sigset_t set = StopSignals();
  for (;;) {
    const int signal = sigtimedwait(&set, nullptr, &timeout);
    if (signal > 0) return true;
    if (errno == EAGAIN) return false;
    if (errno != EINTR) return false;
  }
}

}  // namespace

void LoopTimer::Start(int periodMs) {
  periodMs_ = periodMs > 0 ? periodMs : 1;
  running_ = true;
}

void BlockStopSignals() {
  const sigset_t set = StopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  // Output to a pipe whose reader went away (a closed session's "| tee")
  // must not kill the tool in the middle of a tag either.
  signal(SIGPIPE, SIG_IGN);
}

bool RunLoop(LoopTimer& timer, const std::function<void()>& tick, const std::function<bool()>& keepGoing,
             std::chrono::steady_clock::time_point deadline) {
  using Clock = std::chrono::steady_clock;
  auto next = Clock::now() + std::chrono::milliseconds(timer.PeriodMs());
  while (timer.IsRunning() && keepGoing()) {
    const auto wakeAt = std::min(next, deadline);
    if (StopSignalWithin(wakeAt - Clock::now())) return false;
    if (Clock::now() >= deadline) break;
    tick();
    // A tick that overran the period is followed at once by the next one,
    // without piling up missed ticks (a window timer behaves the same way).
    next += std::chrono::milliseconds(timer.PeriodMs());
    if (next < Clock::now()) next = Clock::now();
  }
  return true;
}

}  // namespace stampwise::cli
