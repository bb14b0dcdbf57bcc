#include "cli/stop_signals.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>

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

void StopSignals::Block() {
  const sigset_t set = StopSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  // Output to a pipe whose reader went away (a closed session's "| tee")
  // must not kill the tool in the middle of a tag either.
  signal(SIGPIPE, SIG_IGN);
}

StopSignals::StopSignals() {
  const sigset_t set = StopSet();
  signalFd_ = ::signalfd(-1, &set, SFD_CLOEXEC);
  quitFd_ = ::eventfd(0, EFD_CLOEXEC);
  if (signalFd_ < 0 || quitFd_ < 0) {
    if (signalFd_ >= 0) ::close(signalFd_);
    if (quitFd_ >= 0) ::close(quitFd_);
    throw std::runtime_error("stop signals cannot be watched");
  }
  watcher_ = std::thread([this] { Watch(); });
}

StopSignals::~StopSignals() {
  const std::uint64_t one = 1;
  if (::write(quitFd_, &one, sizeof one) != static_cast<ssize_t>(sizeof one)) {
    // The watcher then never learns of the end: it must not outlive us.
    std::terminate();
  }
  watcher_.join();
  ::close(signalFd_);
  ::close(quitFd_);
}

void StopSignals::Watch() {
  pollfd fds[2] = {{signalFd_, POLLIN, 0}, {quitFd_, POLLIN, 0}};
  for (;;) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if ((fds[1].revents & POLLIN) != 0) return;
    signalfd_siginfo info{};
    if (::read(signalFd_, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) continue;
    {
      // Under the lock, so that a WaitFor about to sleep cannot miss it. The
      // first signal counts; another one while it is handled changes nothing.
      std::lock_guard lock(mutex_);
      int expected = 0;
      received_.compare_exchange_strong(expected, static_cast<int>(info.ssi_signo));
      if (cancel_) cancel_();
      arrived_.notify_all();
    }
    // A command that is not finishing a tag gets a short grace to end itself.
    if (Readable(quitFd_, static_cast<int>(kGrace.count()))) return;
    if (!finishing_.load()) ::_exit(ExitStatus());
    Readable(quitFd_, -1);  // the job ends after the tag in hand
    return;
  }
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
