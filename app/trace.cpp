#include "app/trace.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace stampwise {
namespace {

constexpr std::size_t kBufferSize = 512;

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

std::string DefaultLockPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string dir = (runtime != nullptr && *runtime != '\0') ? runtime : "/tmp";
  return dir + "/VexTracerLock";
}

}  // namespace

TraceChannel::TraceChannel(std::string socketName, std::string lockPath)
    : socketName_(std::move(socketName)), lockPath_(lockPath.empty() ? DefaultLockPath() : std::move(lockPath)) {}

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
  Fd sock(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (sock.get() < 0) return false;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  // Abstract namespace: a leading zero byte, then the name without terminator.
  const std::size_t nameLength = std::min(socketName_.size(), sizeof addr.sun_path - 1);
  std::memcpy(addr.sun_path + 1, socketName_.data(), nameLength);
  const auto addrLength = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + nameLength);
  // Connecting tells at once whether a viewer listens; only then is the lock taken.
  if (::connect(sock.get(), reinterpret_cast<const sockaddr*>(&addr), addrLength) != 0) return false;

  Fd lock(::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
  if (lock.get() >= 0) ::flock(lock.get(), LOCK_EX);
  bool sent = true;
  const std::string body = text.substr(0, kBufferSize - 1);
  for (std::size_t at = 0; at < body.size(); at += 4) {
    unsigned char chunk[4] = {0, 0, 0, 0};
    std::memcpy(chunk, body.data() + at, std::min<std::size_t>(4, body.size() - at));
    if (::send(sock.get(), chunk, sizeof chunk, 0) != static_cast<ssize_t>(sizeof chunk)) {
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
