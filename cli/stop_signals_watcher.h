// The platform's half of StopSignals: it hands each signal to
// StopSignals::Handle and tells when the owner ends.
#pragma once

#include <chrono>
#include <memory>
#include <optional>

#include "cli/stop_signals.h"

namespace stampwise::cli {

class StopSignals::Watcher {
 public:
  // Starts taking the signals for `owner`.
  explicit Watcher(StopSignals& owner);
  // Returns once no signal is being handled any more.
  ~Watcher();
  Watcher(const Watcher&) = delete;
  Watcher& operator=(const Watcher&) = delete;

  // Hands a signal to the owner (on the thread it arrived on); false once
  // the owner ends.
  bool Deliver(int signal);

  // Waits until the owner is being destroyed, at most `timeout` (nothing: no
  // limit); true when it is.
  bool WaitForEnd(std::optional<std::chrono::milliseconds> timeout);

 private:
  StopSignals& owner_;
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace stampwise::cli
