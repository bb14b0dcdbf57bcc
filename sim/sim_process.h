// Runs mkv-sim as a child process for tests: starts it on a pseudo-terminal
// with a private control socket, talks to the control channel, and ends and
// reaps the child when it goes out of scope.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace mkvsim {

class SimProcess {
 public:
  // The mkv-sim built beside this helper.
  static std::string DefaultBinary();

  // Starts `binary --pty --control <private path> args...` and waits until it
  // has printed its PTY line (and its TCP line when args ask for --tcp or
  // --lan). A non-empty `launcher` (say "ip netns exec NAME", looked up in
  // PATH) runs the binary. Throws std::runtime_error when it cannot start or
  // does not come up.
  explicit SimProcess(const std::vector<std::string>& args = {}, const std::string& binary = DefaultBinary(),
                      const std::vector<std::string>& launcher = {});
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  const std::string& PtyPath() const { return ptyPath_; }
  std::uint16_t TcpPort() const { return tcpPort_; }
  const std::string& ControlPath() const { return controlPath_; }
  pid_t Pid() const { return pid_; }

  // Sends one control command and returns its answer line ("OK ..." / "ERR ...").
  // Throws std::runtime_error when the channel fails or stays silent.
  std::string Command(const std::string& line);

  // Asks the child to end (SIGTERM), waits for it and returns its wait status;
  // a child that does not end within a few seconds is killed. Idempotent.
  int Stop();

 private:
  std::string ReadLine(int fd, std::string& buffer, int timeoutMs);
  void ConnectControl();

  pid_t pid_ = -1;
  int status_ = 0;
  int stdoutFd_ = -1;
  int controlFd_ = -1;
  std::string stdoutBuffer_;
  std::string controlBuffer_;
  std::string tempDir_;
  std::string controlPath_;
  std::string ptyPath_;
  std::uint16_t tcpPort_ = 0;
};

}  // namespace mkvsim
