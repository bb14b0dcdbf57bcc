// The stop signals on Windows: the console's control events, which the
// system delivers on a thread of its own. The handler returns only when the
// owner ends or the process does, so closing the console waits for the tag
// in hand (within the time the system gives).
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <mutex>

#include "cli/stop_signals.h"
#include "cli/stop_signals_watcher.h"

namespace stampwise::cli {

struct StopSignals::Watcher::State {
  std::mutex mutex;
  std::condition_variable changed;
  bool ending = false;
  int handling = 0;  // control events inside the owner's Handle
};

namespace {

// The one watcher the handler serves; null while there is none.
std::atomic<StopSignals::Watcher*> current{nullptr};

int SignalOf(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT: return SIGINT;
    case CTRL_CLOSE_EVENT: return 1;  // SIGHUP, as a closed terminal on Linux
    default: return SIGTERM;          // log-off, shut-down
  }
}

BOOL WINAPI OnControlEvent(DWORD event) {
  StopSignals::Watcher* watcher = current.load();
  return watcher != nullptr && watcher->Deliver(SignalOf(event)) ? TRUE : FALSE;
}

}  // namespace

bool StopSignals::Watcher::Deliver(int signal) {
  {
    std::lock_guard lock(state_->mutex);
    if (state_->ending) return false;
    ++state_->handling;
  }
  owner_.Handle(signal, *this);
  {
    std::lock_guard lock(state_->mutex);
    --state_->handling;
  }
  state_->changed.notify_all();
  return true;
}

void StopSignals::Block() {}

StopSignals::StopSignals() : watcher_(std::make_unique<Watcher>(*this)) {}

StopSignals::~StopSignals() = default;

StopSignals::Watcher::Watcher(StopSignals& owner) : owner_(owner), state_(std::make_unique<State>()) {
  current.store(this);
  ::SetConsoleCtrlHandler(&OnControlEvent, TRUE);
}

StopSignals::Watcher::~Watcher() {
  ::SetConsoleCtrlHandler(&OnControlEvent, FALSE);
  std::unique_lock lock(state_->mutex);
  state_->ending = true;
  state_->changed.notify_all();
  state_->changed.wait(lock, [this] { return state_->handling == 0; });
  current.store(nullptr);
}

bool StopSignals::Watcher::WaitForEnd(std::optional<std::chrono::milliseconds> timeout) {
  std::unique_lock lock(state_->mutex);
  if (!timeout) {
    state_->changed.wait(lock, [this] { return state_->ending; });
    return true;
  }
  return state_->changed.wait_for(lock, *timeout, [this] { return state_->ending; });
}

}  // namespace stampwise::cli
