#include "sim/sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <stdexcept>

extern char** environ;

namespace mkvsim {

namespace {

constexpr int kStartTimeoutMs = 10000;
constexpr int kAnswerTimeoutMs = 5000;
constexpr int kStopTimeoutMs = 5000;

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error("SimProcess: " + what); }

// Waits for the child to end within timeoutMs, without spinning: a pidfd
// becomes readable when the process exits.
bool WaitForExit(pid_t pid, int timeoutMs, int& status) {
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (pidfd >= 0) {
    pollfd pfd{pidfd, POLLIN, 0};
    int ready;
    do ready = ::poll(&pfd, 1, timeoutMs);
    while (ready < 0 && errno == EINTR);
    ::close(pidfd);
    if (ready == 0) return false;
  }
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return true;
  return true;
}

}  // namespace

// mkv-sim is built and installed beside the programs that start it (tests,
// benchmarks, the demo); elsewhere it is looked up on the PATH.
std::string SimProcess::DefaultBinary() {
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) {
    std::string beside(self, static_cast<std::size_t>(n));
    beside = beside.substr(0, beside.rfind('/') + 1) + "mkv-sim";
    if (::access(beside.c_str(), X_OK) == 0) return beside;
  }
  return "mkv-sim";
}

SimProcess::SimProcess(const std::vector<std::string>& args, const std::string& binary,
                       const std::vector<std::string>& launcher) {
  std::string dirTemplate = (std::filesystem::temp_directory_path() / "mkvsim-XXXXXX").string();
  if (::mkdtemp(dirTemplate.data()) == nullptr) Fail(std::string("mkdtemp: ") + std::strerror(errno));
  tempDir_ = dirTemplate;
  controlPath_ = tempDir_ + "/control";

  // The simulator takes its control folder with it, also when this process
  // is killed and never comes to Stop().
  std::vector<std::string> argv(launcher);
  argv.insert(argv.end(), {binary, "--pty", "--control", controlPath_, "--remove-on-exit", tempDir_});
  argv.insert(argv.end(), args.begin(), args.end());
  const auto has = [&](const char* option) { return std::find(args.begin(), args.end(), option) != args.end(); };
  const bool wantsTcp = has("--tcp") || has("--lan");
  std::vector<char*> cargv;
  for (std::string& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);

  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) Fail(std::string("pipe: ") + std::strerror(errno));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  const int err = launcher.empty() ? ::posix_spawn(&pid_, binary.c_str(), &actions, nullptr, cargv.data(), environ)
                                   : ::posix_spawnp(&pid_, argv[0].c_str(), &actions, nullptr, cargv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  stdoutFd_ = pipeFds[0];
  if (err != 0) {
    pid_ = -1;
    ::close(stdoutFd_);
    ::rmdir(tempDir_.c_str());
    Fail("cannot start " + binary + ": " + std::strerror(err));
  }
  try {
    const std::string ptyLine = ReadLine(stdoutFd_, stdoutBuffer_, kStartTimeoutMs);
    if (ptyLine.rfind("PTY ", 0) != 0) Fail("unexpected first line: " + ptyLine);
    ptyPath_ = ptyLine.substr(4);
    if (wantsTcp) {
      const std::string tcpLine = ReadLine(stdoutFd_, stdoutBuffer_, kStartTimeoutMs);
      if (tcpLine.rfind("TCP ", 0) != 0) Fail("unexpected second line: " + tcpLine);
      tcpPort_ = static_cast<std::uint16_t>(std::stoi(tcpLine.substr(4)));
    }
    ConnectControl();
  } catch (...) {
    Stop();
    throw;
  }
}

SimProcess::~SimProcess() { Stop(); }

std::string SimProcess::ReadLine(int fd, std::string& buffer, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const std::size_t end = buffer.find('\n');
    if (end != std::string::npos) {
      std::string line = buffer.substr(0, end);
      buffer.erase(0, end + 1);
      return line;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) Fail("no answer in time");
    pollfd pfd{fd, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) Fail("no answer in time");
    char chunk[512];
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail("mkv-sim closed its output (did it fail to start?)");
    buffer.append(chunk, static_cast<std::size_t>(n));
  }
}

void SimProcess::ConnectControl() {
  controlFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (controlFd_ < 0) Fail(std::string("socket: ") + std::strerror(errno));
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, controlPath_.c_str(), sizeof addr.sun_path - 1);
  if (::connect(controlFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
    Fail("connect " + controlPath_ + ": " + std::strerror(errno));
}

std::string SimProcess::Command(const std::string& line) {
  if (controlFd_ < 0) Fail("control channel is closed");
  const std::string text = line + "\n";
  if (::send(controlFd_, text.data(), text.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(text.size()))
    Fail("control send failed");
  return ReadLine(controlFd_, controlBuffer_, kAnswerTimeoutMs);
}

int SimProcess::Stop() {
  if (controlFd_ >= 0) ::close(controlFd_);
  controlFd_ = -1;
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    if (!WaitForExit(pid_, kStopTimeoutMs, status_)) {
      ::kill(pid_, SIGKILL);
      WaitForExit(pid_, -1, status_);
    }
    pid_ = -1;
  }
  if (stdoutFd_ >= 0) ::close(stdoutFd_);
  stdoutFd_ = -1;
  if (!tempDir_.empty()) {
    ::unlink(controlPath_.c_str());
    ::rmdir(tempDir_.c_str());
    tempDir_.clear();
  }
  return status_;
}

}  // namespace mkvsim
