#include "app/trace.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// A trace viewer on a private abstract socket name.
class Viewer {
 public:
  explicit Viewer(const std::string& name) {
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path + 1, name.data(), name.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    if (bind(fd_, reinterpret_cast<const sockaddr*>(&addr), length) != 0) ADD_FAILURE() << "bind";
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

std::string UniqueName() { return "stampwise-trace-test-" + std::to_string(getpid()); }

TEST(TraceChannel, SendsFourByteChunksPaddedWithZeros) {
  const std::string name = UniqueName();
  const std::string lock = std::filesystem::temp_directory_path() / (name + ".lock");
  Viewer viewer(name);
  stampwise::TraceChannel channel(name, lock);
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
  std::filesystem::remove(lock);
}

TEST(TraceChannel, WithoutViewerNothingIsSentAndNoLockIsMade) {
  const std::string name = UniqueName() + "-absent";
  const std::string lock = std::filesystem::temp_directory_path() / (name + ".lock");
  stampwise::TraceChannel channel(name, lock);
  EXPECT_FALSE(channel.Send("Inventory"));
  EXPECT_FALSE(std::filesystem::exists(lock));
}

TEST(TimingRecord, FormatsMinutesSecondsMillisecondsMicroseconds) {
  EXPECT_EQ(stampwise::TimingRecord::FormatLine(42, "Inventory", 61'002'003),
            "[00000042] Inventory 1:01.002.003 min\n");
  EXPECT_EQ(stampwise::TimingRecord::FormatLine(4294967295u, "Nach Inventory", 999),
            "[4294967295] Nach Inventory 0:00.000.999 min\n");
}

}  // namespace
