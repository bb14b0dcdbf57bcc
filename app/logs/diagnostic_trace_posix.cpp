// The trace viewer on Linux: a datagram socket "VexTracer" in the user's
// runtime folder, and a lock file beside it that keeps one process's line
// together.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "app/logs/diagnostic_trace.h"

namespace stampwise {
namespace {

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

}  // namespace

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

}  // namespace stampwise
