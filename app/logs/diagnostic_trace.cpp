#include "app/logs/diagnostic_trace.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace stampwise {
namespace {

constexpr std::size_t kBufferSize = 512;
constexpr const char* kSocketName = "VexTracer";
constexpr const char* kLockName = "VexTracerLock";

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// The user's own folder, closed to every other account: only then can no one
// else have put the socket there.
bool PrivateFolder(const std::string& folder) {
  struct stat info {};
  return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
         (info.st_mode & 077) == 0;
}

bool OwnSocket(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode) && info.st_uid == ::geteuid();
}

std::string RuntimeFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return runtime != nullptr ? runtime : "";
}

}  // namespace

TraceChannel::TraceChannel(std::string folder) : folder_(folder.empty() ? RuntimeFolder() : std::move(folder)) {}

TraceChannel& TraceChannel::Default() {
  static TraceChannel channel;
  return channel;
}

bool TraceChannel::Trace(const char* format, ...) {
  char buffer[kBufferSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return Send(buffer);
}

bool TraceChannel::Send(const std::string& text) {
  if (folder_.empty() || !PrivateFolder(folder_)) return false;
  const std::string socketPath = folder_ + "/" + kSocketName;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof addr.sun_path || !OwnSocket(socketPath)) return false;
  std::memcpy(addr.sun_path, socketPath.data(), socketPath.size());
  // Never blocking: a viewer that does not read loses the rest of the line.
  Fd sock(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (sock.get() < 0) return false;
  // Connecting tells at once whether a viewer listens; only then is the lock taken.
  if (::connect(sock.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) return false;

  Fd lock(::open((folder_ + "/" + kLockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
  // Lines of another process under way: this one is dropped, not waited for.
  if (lock.get() >= 0 && ::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) return false;
  bool sent = true;
  const std::string body = text.substr(0, kBufferSize - 1);
  for (std::size_t at = 0; at < body.size(); at += 4) {
    unsigned char chunk[4] = {0, 0, 0, 0};
    std::memcpy(chunk, body.data() + at, std::min<std::size_t>(4, body.size() - at));
    if (::send(sock.get(), chunk, sizeof chunk, MSG_DONTWAIT | MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof chunk)) {
      sent = false;
      break;
    }
  }
  if (lock.get() >= 0) ::flock(lock.get(), LOCK_UN);
  return sent;
}

TimingRecord::TimingRecord(TraceChannel& channel, std::int64_t thresholdUs)
    : channel_(channel), thresholdUs_(thresholdUs), start_(std::chrono::steady_clock::now()) {}

void TimingRecord::Trace(const char* label) {
  using namespace std::chrono;
  const auto now = steady_clock::now();
  const std::int64_t elapsed = duration_cast<microseconds>(now - start_).count();
  if (elapsed < thresholdUs_) return;
  const auto nowMs = static_cast<std::uint32_t>(duration_cast<milliseconds>(now.time_since_epoch()).count());
  channel_.Send(FormatLine(nowMs, label, elapsed));
}

std::string TimingRecord::FormatLine(std::uint32_t nowMs, const char* label, std::int64_t elapsedUs) {
  const std::int64_t us = elapsedUs % 1000;
  const std::int64_t ms = (elapsedUs / 1000) % 1000;
  const std::int64_t s = (elapsedUs / 1000000) % 60;
  const std::int64_t min = elapsedUs / 60000000;
  char buffer[kBufferSize];
  std::snprintf(buffer, sizeof buffer, "[%08u] %s %d:%02d.%03d.%03d min\n", nowMs, label, static_cast<int>(min),
                static_cast<int>(s), static_cast<int>(ms), static_cast<int>(us));
  return buffer;
}

}  // namespace stampwise
