#include "cli/loop_timer.h"

namespace stampwise::cli {

void LoopTimer::Start(int periodMs) {
  periodMs_ = periodMs > 0 ? periodMs : 1;
  running_ = true;
}

bool RunLoop(LoopTimer& timer, StopSignals& stop, const std::function<void()>& tick,
             const std::function<bool()>& keepGoing, std::chrono::steady_clock::time_point deadline) {
  using Clock = std::chrono::steady_clock;
  auto next = Clock::now() + std::chrono::milliseconds(timer.PeriodMs());
  while (timer.IsRunning() && keepGoing()) {
    const auto wakeAt = std::min(next, deadline);
    if (stop.WaitFor(std::max(wakeAt - Clock::now(), Clock::duration::zero()))) return false;
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
