// The cycle timer of the command line tool: a plain loop on the main thread
// that sleeps until the next tick, and wakes early for Ctrl-C, SIGTERM or
// SIGHUP.
#pragma once

#include <chrono>
#include <functional>

#include "app/job/front_end.h"
#include "cli/stop_signals.h"

namespace stampwise::cli {

class LoopTimer : public CycleTimer {
 public:
  void Start(int periodMs) override;
  void Stop() override { running_ = false; }
  bool IsRunning() const override { return running_; }
  int PeriodMs() const { return periodMs_; }

 private:
  bool running_ = false;
  int periodMs_ = 250;
};

// Runs `tick` every period while `timer` runs and `keepGoing` says so. Returns
// false when a stop signal arrived (the tick under way is finished first).
bool RunLoop(LoopTimer& timer, StopSignals& stop, const std::function<void()>& tick,
             const std::function<bool()>& keepGoing, std::chrono::steady_clock::time_point deadline);

}  // namespace stampwise::cli
