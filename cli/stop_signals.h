// SIGINT, SIGTERM and SIGHUP for the command line tool (on Windows the
// console's Ctrl+C and Ctrl+Break as SIGINT, closing the console as SIGHUP,
// log-off and shut-down as SIGTERM). On Linux they stay blocked in every
// thread and are taken by a watcher thread, so a job ends between two
// tags (never in the middle of one) while every other command ends within a
// second: it may end by itself (the update check cancels its transfers), and
// when it has not after a short grace the watcher ends the process with
// 128 + the signal's number.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace stampwise::cli {

class StopSignals {
 public:
  // How long a command that is not finishing a tag has to end by itself.
  static constexpr std::chrono::milliseconds kGrace{500};

  // Blocks the three signals and ignores SIGPIPE; call before any thread
  // starts, so that every thread inherits the mask. Nothing on Windows.
  static void Block();

  // Starts the watcher (Block must have been called).
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // The signal that arrived, 0 while none did.
  int Received() const { return received_.load(); }
  // 128 + the signal: the exit status of a command a signal ended.
  int ExitStatus() const { return 128 + Received(); }

  // Waits at most `duration`; true when a signal arrived (also before).
  bool WaitFor(std::chrono::steady_clock::duration duration);

  // While on, a signal never ends the process: the command finishes the tag
  // in hand and ends itself.
  void LetCommandFinish(bool on) { finishing_.store(on); }

  // Runs `cancel` on the watcher thread when a signal arrives while the
  // scope lives (at once if one already did), so that a wait can end early.
  class OnStop {
   public:
    OnStop(StopSignals& signals, std::function<void()> cancel);
    ~OnStop();
    OnStop(const OnStop&) = delete;
    OnStop& operator=(const OnStop&) = delete;

   private:
    StopSignals& signals_;
  };

  // How the signals arrive: stop_signals_posix.cpp or stop_signals_windows.cpp.
  class Watcher;

 private:
  // What follows a signal, on the thread it arrived on: noted, the command
  // told, and the process ended unless it ends itself (WaitForEnd). `from`
  // is the watcher that took it: a signal may come while the watcher is
  // still being made, before watcher_ holds it.
  void Handle(int signal, Watcher& from);

  std::atomic<int> received_{0};
  std::atomic<bool> finishing_{false};
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::function<void()> cancel_;  // under mutex_
  std::unique_ptr<Watcher> watcher_;
};

}  // namespace stampwise::cli
