#include "cli/stop_signals.h"

#include <cstdlib>

#include "cli/stop_signals_watcher.h"

namespace stampwise::cli {

void StopSignals::Handle(int signal, Watcher& from) {
  {
    // Under the lock, so that a WaitFor about to sleep cannot miss it. The
    // first signal counts; another one while it is handled changes nothing.
    std::lock_guard lock(mutex_);
    int expected = 0;
    received_.compare_exchange_strong(expected, signal);
    if (cancel_) cancel_();
    arrived_.notify_all();
  }
  // A command that is not finishing a tag gets a short grace to end itself.
  if (from.WaitForEnd(kGrace)) return;
  if (!finishing_.load()) std::_Exit(ExitStatus());
  from.WaitForEnd(std::nullopt);  // the job ends after the tag in hand
}

bool StopSignals::WaitFor(std::chrono::steady_clock::duration duration) {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, duration, [this] { return received_.load() != 0; });
}

StopSignals::OnStop::OnStop(StopSignals& signals, std::function<void()> cancel) : signals_(signals) {
  std::lock_guard lock(signals_.mutex_);
  signals_.cancel_ = std::move(cancel);
  if (signals_.received_.load() != 0) signals_.cancel_();
}

StopSignals::OnStop::~OnStop() {
  std::lock_guard lock(signals_.mutex_);
  signals_.cancel_ = nullptr;
}

}  // namespace stampwise::cli
