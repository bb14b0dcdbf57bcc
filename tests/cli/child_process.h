// Runs a program as a child process for the command line tests: captures its
// standard output and error, delivers signals, and never leaves it behind
// (a child still running when the object goes is killed and reaped).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace stampwise::testing {

class ChildProcess {
 public:
  // Starts argv[0] with the arguments; stdin is /dev/null. Throws
  // std::runtime_error when it cannot be started.
  explicit ChildProcess(const std::vector<std::string>& argv);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }
  bool Running() const { return pid_ > 0; }

  // Collects output for up to `ms` milliseconds, or until `text` is in the
  // standard output (when not empty) or the child closed its output.
  // True when `text` was seen.
  bool Pump(int ms, const std::string& text = {});

  // True once the child has ended; it is reaped then, its output collected.
  bool Ended();

  void Signal(int signal);
  // Waits (at most `guardMs`) until the child's main thread blocks `signal`:
  // from then on a signal is its to handle, not the default's to kill it.
  bool AwaitBlocked(int signal, int guardMs);
  // Waits for the end, collecting output; a child still running after
  // `timeoutMs` is killed. Returns the wait status.
  int Wait(int timeoutMs);

  const std::string& Out() const { return out_; }
  const std::string& Err() const { return err_; }

 private:
  bool ReadAvailable(int timeoutMs);

  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  int status_ = 0;
  std::string out_;
  std::string err_;
};

struct RunResult {
  int exitCode = -1;  // -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// Runs a program to its end (killed after `timeoutMs`).
RunResult RunProgram(const std::vector<std::string>& argv, int timeoutMs = 60000);

}  // namespace stampwise::testing
