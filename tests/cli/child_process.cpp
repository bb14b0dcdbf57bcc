#include "tests/cli/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

extern char** environ;

namespace stampwise::testing {

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
  std::vector<std::string> args = argv;
  std::vector<char*> cargv;
  for (std::string& a : args) cargv.push_back(a.data());
  cargv.push_back(nullptr);

  int outPipe[2];
  int errPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0) throw std::runtime_error(std::strerror(errno));
  if (::pipe2(errPipe, O_CLOEXEC) != 0) {
    ::close(outPipe[0]);
    ::close(outPipe[1]);
    throw std::runtime_error(std::strerror(errno));
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
  // The child starts with default signal handling and nothing blocked.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  const int error = ::posix_spawn(&pid_, cargv[0], &actions, &attributes, cargv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  outFd_ = outPipe[0];
  errFd_ = errPipe[0];
  if (error != 0) {
    pid_ = -1;
    throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(error));
  }
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    while (::waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
    }
  }
  if (outFd_ >= 0) ::close(outFd_);
  if (errFd_ >= 0) ::close(errFd_);
}

// Reads what the pipes hold, waiting up to timeoutMs for the first bytes.
// False once both pipes are closed.
bool ChildProcess::ReadAvailable(int timeoutMs) {
  pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
  if (outFd_ < 0 && errFd_ < 0) return false;
  const int ready = ::poll(fds, 2, timeoutMs);
  if (ready <= 0) return true;
  std::string* sinks[2] = {&out_, &err_};
  int* fdsOwned[2] = {&outFd_, &errFd_};
  for (int i = 0; i < 2; ++i) {
    if (fds[i].fd < 0 || fds[i].revents == 0) continue;
    char chunk[4096];
    const ssize_t n = ::read(fds[i].fd, chunk, sizeof chunk);
    if (n > 0) {
      sinks[i]->append(chunk, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      ::close(*fdsOwned[i]);
      *fdsOwned[i] = -1;
    }
  }
  return outFd_ >= 0 || errFd_ >= 0;
}

bool ChildProcess::Pump(int ms, const std::string& text) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (!text.empty() && out_.find(text) != std::string::npos) return true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    if (!ReadAvailable(static_cast<int>(left))) return !text.empty() && out_.find(text) != std::string::npos;
  }
}

bool ChildProcess::AwaitBlocked(int signal, int guardMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(guardMs);
  const std::string path = "/proc/" + std::to_string(pid_) + "/status";
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream status(path);
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("SigBlk:", 0) != 0) continue;
      const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
      if ((mask >> (signal - 1)) & 1) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

bool ChildProcess::Ended() {
  if (pid_ <= 0) return true;
  if (::waitpid(pid_, &status_, WNOHANG) != pid_) return false;
  pid_ = -1;
  Pump(1000);
  return true;
}

void ChildProcess::Signal(int signal) {
  if (pid_ > 0) ::kill(pid_, signal);
}

int ChildProcess::Wait(int timeoutMs) {
  if (pid_ <= 0) return status_;
  // The child's end closes its pipes; collect the output until then.
  Pump(timeoutMs);
  if (outFd_ >= 0 || errFd_ >= 0) ::kill(pid_, SIGKILL);
  while (::waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  Pump(1000);  // whatever is still in the pipes
  return status_;
}

RunResult RunProgram(const std::vector<std::string>& argv, int timeoutMs) {
  ChildProcess child(argv);
  const int status = child.Wait(timeoutMs);
  RunResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = child.Out();
  result.err = child.Err();
  return result;
}

}  // namespace stampwise::testing
