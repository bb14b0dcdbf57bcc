#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/logs/diagnostic_trace.h"
#include "tests/app/temp_folder.h"

namespace {

using stampwise::TraceChannel;
using stampwise::testing::TempFolder;

// A datagram socket bound to `path` (a leading '@' names an abstract one).
int BoundSocket(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.data(), path.size());
  if (path[0] == '@') addr.sun_path[0] = '\0';
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
  if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&addr), length) != 0) {
    if (fd >= 0) close(fd);
    return -1;
  }
  return fd;
}

// A trace viewer of this user in a private folder; it reads only when asked.
class Viewer {
 public:
  explicit Viewer(const std::string& folder) : fd_(BoundSocket(folder + "/VexTracer")) {
    if (fd_ < 0) ADD_FAILURE() << "bind";
  }
  ~Viewer() { close(fd_); }
  Viewer(const Viewer&) = delete;
  Viewer& operator=(const Viewer&) = delete;

  std::vector<std::string> Datagrams() {
    std::vector<std::string> all;
    char buffer[64];
    for (ssize_t n; (n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;) all.emplace_back(buffer, n);
    return all;
  }

 private:
  int fd_ = -1;
};

// The folder of the trace socket belongs to the user alone.
std::string PrivateFolder(TempFolder& folder) {
  chmod(folder.Path().c_str(), 0700);
  return folder.Path();
}

TEST(TraceChannel, SendsFourByteChunksPaddedWithZeros) {
  TempFolder folder;
  Viewer viewer(PrivateFolder(folder));
  TraceChannel channel(folder.Path());
  struct Case {
    std::string text;
    std::vector<std::string> datagrams;
  };
  const Case cases[] = {
      {"12345678", {"1234", "5678"}},
      {"123456789", {"1234", "5678", std::string("9\0\0\0", 4)}},
      {"", {}},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(channel.Send(c.text));
    EXPECT_EQ(viewer.Datagrams(), c.datagrams) << c.text;
  }
}

TEST(TraceChannel, WithoutViewerNothingIsSentAndNoLockIsMade) {
  TempFolder folder;
  TraceChannel channel(PrivateFolder(folder));
  EXPECT_FALSE(channel.Send("Inventory"));
  EXPECT_FALSE(std::filesystem::exists(folder.File("VexTracerLock")));
}

// A viewer that never reads: the sender is never held up (the socket is non-
// blocking, so this test ends); the lines that do not fit are dropped.
TEST(TraceChannel, ASilentViewerNeverHoldsTheSenderUp) {
  TempFolder folder;
  Viewer viewer(PrivateFolder(folder));
  TraceChannel channel(folder.Path());
  int dropped = 0;
  for (int line = 0; line < 2000; ++line) dropped += channel.Send(std::string(64, 'x')) ? 0 : 1;
  EXPECT_GT(dropped, 0);
  EXPECT_FALSE(viewer.Datagrams().empty());
  EXPECT_TRUE(channel.Send("after reading")) << "a viewer that reads again gets lines again";
}

// Another process in the middle of its line: this line is dropped at once,
// never waited for.
TEST(TraceChannel, ALockHeldElsewhereDropsTheLine) {
  TempFolder folder;
  Viewer viewer(PrivateFolder(folder));
  const int holder = open(folder.File("VexTracerLock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX), 0);
  TraceChannel channel(folder.Path());
  EXPECT_FALSE(channel.Send("Inventory"));
  EXPECT_TRUE(viewer.Datagrams().empty());
  close(holder);
  EXPECT_TRUE(channel.Send("Inventory"));
}

// A listener of another account, run in a child that takes that account's
// ids: it binds `path` and, once the parent has sent, tells how many
// datagrams it got (-1: it could not bind).
class ForeignListener {
 public:
  static constexpr uid_t kNobody = 65534;

  explicit ForeignListener(const std::string& path) {
    if (pipe(ready_) != 0 || pipe(done_) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      int count = -1;
      if (setgid(kNobody) == 0 && setuid(kNobody) == 0) {
        const int fd = BoundSocket(path);
        const char mark = fd >= 0 ? '1' : '0';
        if (write(ready_[1], &mark, 1) == 1 && fd >= 0) {
          char go = 0;
          if (read(done_[0], &go, 1) == 1) {
            char buffer[64];
            count = 0;
            while (recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) ++count;
          }
        }
      }
      _exit(count < 0 ? 255 : count > 200 ? 200 : count);
    }
    char mark = 0;
    bound_ = read(ready_[0], &mark, 1) == 1 && mark == '1';
  }
  ~ForeignListener() {
    if (pid_ > 0 && !waited_) Received();
    for (int fd : {ready_[0], ready_[1], done_[0], done_[1]}) close(fd);
  }

  bool Bound() const { return bound_; }
  // After the sends: the datagrams the listener got (-1 when it failed).
  int Received() {
    waited_ = true;
    const char go = 1;
    if (write(done_[1], &go, 1) != 1) return -1;
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) != 255 ? WEXITSTATUS(status) : -1;
  }

 private:
  int ready_[2] = {-1, -1};
  int done_[2] = {-1, -1};
  pid_t pid_ = -1;
  bool bound_ = false;
  bool waited_ = false;
};

// The channel belongs to the user who runs the program: no listener of
// another account receives a line, wherever it listens.
TEST(TraceChannel, AnotherUsersListenerReceivesNothing) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run a listener as another user";
  struct Case {
    const char* name;
    uid_t folderOwner;
    mode_t folderMode;
    bool abstractName;  // the listener takes the well-known abstract name "VexTracer"
  };
  const Case cases[] = {
      {"a folder of another user", ForeignListener::kNobody, 0700, false},
      {"a folder open to everyone", 0, 0777, false},
      {"the abstract name", 0, 0700, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    ASSERT_EQ(chown(folder.Path().c_str(), c.folderOwner, c.folderOwner), 0);
    ASSERT_EQ(chmod(folder.Path().c_str(), c.folderMode), 0);
    const std::string path = c.abstractName ? "@VexTracer" : folder.File("VexTracer");
    ForeignListener listener(path);
    if (!listener.Bound()) {
      // Only the abstract name can be taken already (a viewer of this machine).
      ASSERT_TRUE(c.abstractName);
      continue;
    }
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    const std::string kept = runtime != nullptr ? runtime : "";
    setenv("XDG_RUNTIME_DIR", folder.Path().c_str(), 1);
    TraceChannel channel;  // the program's own: the runtime folder of the environment
    EXPECT_FALSE(channel.Send("Inventory 0:00.001.234 min\n"));
    if (runtime != nullptr) {
      setenv("XDG_RUNTIME_DIR", kept.c_str(), 1);
    } else {
      unsetenv("XDG_RUNTIME_DIR");
    }
    // The listener hears what is sent to it: the test's own datagram only.
    const int probe = BoundSocket(folder.File("probe"));
    sockaddr_un to{};
    to.sun_family = AF_UNIX;
    std::memcpy(to.sun_path, path.data(), path.size());
    if (path[0] == '@') to.sun_path[0] = '\0';
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
    EXPECT_EQ(sendto(probe, "test", 4, 0, reinterpret_cast<const sockaddr*>(&to), length), 4);
    close(probe);
    EXPECT_EQ(listener.Received(), 1);
    ASSERT_EQ(chown(folder.Path().c_str(), 0, 0), 0);  // for the folder's removal
  }
}

TEST(TimingRecord, FormatsMinutesSecondsMillisecondsMicroseconds) {
  EXPECT_EQ(stampwise::TimingRecord::FormatLine(42, "Inventory", 61'002'003),
            "[00000042] Inventory 1:01.002.003 min\n");
  EXPECT_EQ(stampwise::TimingRecord::FormatLine(4294967295u, "Nach Inventory", 999),
            "[4294967295] Nach Inventory 0:00.000.999 min\n");
}

}  // namespace
