// The stop signals on Linux: blocked everywhere, read from a signalfd by a
// watcher thread; an eventfd tells it the owner ends.
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <thread>

#include "cli/stop_signals.h"
#include "cli/stop_signals_watcher.h"

namespace stampwise::cli {
namespace {

sigset_t StopSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  // A closed terminal or ssh session: stop as for SIGTERM, after the tag in
  // hand and its log line, instead of dying between the two.
  sigaddset(&set, SIGHUP);
  return set;
}

// Waits for `fd` to become readable; false after `timeoutMs` (-1: no limit).
bool Readable(int fd, int timeoutMs) {
  pollfd entry{fd, POLLIN, 0};
  for (;;) {
    const int n = ::poll(&entry, 1, timeoutMs);
    if (n >= 0) return n > 0;
    if (errno != EINTR) return false;
  }
}

}  // namespace

struct StopSignals::Watcher::State {
  int signalFd = -1;
  int quitFd = -1;
  std::thread thread;
};

void StopSignals::Block() {
  const sigset_t set = StopSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  // Output to a pipe whose reader went away (a closed session's "| tee")
  // must not kill the tool in the middle of a tag either.
  signal(SIGPIPE, SIG_IGN);
}

StopSignals::StopSignals() : watcher_(std::make_unique<Watcher>(*this)) {}

StopSignals::~StopSignals() = default;

StopSignals::Watcher::Watcher(StopSignals& owner) : owner_(owner), state_(std::make_unique<State>()) {
  const sigset_t set = StopSet();
  state_->signalFd = ::signalfd(-1, &set, SFD_CLOEXEC);
  state_->quitFd = ::eventfd(0, EFD_CLOEXEC);
  if (state_->signalFd < 0 || state_->quitFd < 0) {
    if (state_->signalFd >= 0) ::close(state_->signalFd);
    if (state_->quitFd >= 0) ::close(state_->quitFd);
    throw std::runtime_error("stop signals cannot be watched");
  }
  state_->thread = std::thread([this] {
    pollfd fds[2] = {{state_->signalFd, POLLIN, 0}, {state_->quitFd, POLLIN, 0}};
    for (;;) {
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if ((fds[1].revents & POLLIN) != 0) return;
      signalfd_siginfo info{};
      if (::read(state_->signalFd, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) continue;
      Deliver(static_cast<int>(info.ssi_signo));
      return;
    }
  });
}

StopSignals::Watcher::~Watcher() {
  const std::uint64_t one = 1;
  if (::write(state_->quitFd, &one, sizeof one) != static_cast<ssize_t>(sizeof one)) {
    // The watcher then never learns of the end: it must not outlive us.
    std::terminate();
  }
  state_->thread.join();
  ::close(state_->signalFd);
  ::close(state_->quitFd);
}

bool StopSignals::Watcher::Deliver(int signal) {
  owner_.Handle(signal, *this);
  return true;
}

bool StopSignals::Watcher::WaitForEnd(std::optional<std::chrono::milliseconds> timeout) {
  return Readable(state_->quitFd, timeout ? static_cast<int>(timeout->count()) : -1);
}

}  // namespace stampwise::cli
