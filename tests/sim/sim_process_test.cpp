#include "sim/sim_process.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "protocol/frame.h"

namespace mkvsim {
namespace {

namespace frame = qlmkv::frame;
using ::testing::MatchesRegex;

// A host's end of the simulated serial line.
class RawTerminal {
 public:
  explicit RawTerminal(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    termios tio{};
    if (fd_ >= 0 && ::tcgetattr(fd_, &tio) == 0) {
      ::cfmakeraw(&tio);
      ::tcsetattr(fd_, TCSANOW, &tio);
    }
  }
  ~RawTerminal() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Open() const { return fd_ >= 0; }

  // Sends a request and collects one complete reply (or what came before the deadline).
  frame::Bytes Transceive(int variant, std::uint8_t command, const frame::Bytes& payload) {
    if (!Send(variant, command, payload)) return {};
    return Receive(variant);
  }
  bool Send(int variant, std::uint8_t command, const frame::Bytes& payload) {
    const frame::Bytes request = frame::Build(variant, 1, command, payload);
    return ::write(fd_, request.data(), request.size()) == static_cast<ssize_t>(request.size());
  }
  // Whether anything came, without waiting.
  bool Readable() {
    pollfd pfd{fd_, POLLIN, 0};
    return ::poll(&pfd, 1, 0) > 0;
  }
  frame::Bytes Receive(int variant) {
    frame::Bytes reply;
    while (reply.empty() || frame::CompleteLength(variant, reply.data(), reply.size()) == 0) {
      pollfd pfd{fd_, POLLIN, 0};
      if (::poll(&pfd, 1, 5000) <= 0) break;
      std::uint8_t chunk[256];
      const ssize_t n = ::read(fd_, chunk, sizeof chunk);
      if (n <= 0) break;
      reply.insert(reply.end(), chunk, chunk + n);
    }
    return reply;
  }

 private:
  int fd_;
};

TEST(SimProcess, ServesThePtyAndTheControlChannel) {
  SimProcess sim({"--quiet", "--tags", "0"});
  ASSERT_FALSE(sim.PtyPath().empty());
  EXPECT_EQ(sim.Command("add"), "OK 0");
  EXPECT_THAT(sim.Command("list"), MatchesRegex("OK 1 0:1:[0-9A-F]{24}"));

  frame::Bytes data;
  {
    RawTerminal line(sim.PtyPath());
    ASSERT_TRUE(line.Open());
    ASSERT_EQ(frame::ValidateReply(0, line.Transceive(0, 0xF0, {}), data), 0);
    EXPECT_EQ(std::string(data.begin(), data.end()), "3125");
    ASSERT_EQ(frame::ValidateReply(1, line.Transceive(1, 0xC0, {1}), data), 0);
    ASSERT_EQ(data.size(), 15u);
    ASSERT_EQ(frame::ValidateReply(1, line.Transceive(1, 0xC2, frame::Bytes(data.begin() + 3, data.end())), data), 0);
    ASSERT_EQ(frame::ValidateReply(1, line.Transceive(1, 0xC4, {3, 0, 0, 0, 0x12, 0x34}), data), 0);
  }
  EXPECT_EQ(sim.Command("written"), "OK 1");

  // A host that closes the line and opens it again is still served.
  RawTerminal again(sim.PtyPath());
  ASSERT_TRUE(again.Open());
  EXPECT_EQ(frame::ValidateReply(0, again.Transceive(0, 0xF0, {}), data), 0);

  EXPECT_EQ(sim.Command("quit"), "OK bye");
  const int status = sim.Stop();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// What crosses a paced line is counted with its time on the line and the
// chip's write time, faults included; times are derived from counts only.
TEST(SimProcess, PacedLineAccountsForBytesAndChipWrites) {
  // 100000 baud 8E1: every character takes 110 us.
  SimProcess sim({"--quiet", "--pace", "100001", "--chip-write-ms", "3"});
  EXPECT_EQ(sim.Command("pace"), "OK 100000 8E1");
  RawTerminal line(sim.PtyPath());
  ASSERT_TRUE(line.Open());
  std::size_t rx = 0;
  std::size_t tx = 0;
  frame::Bytes data;
  const auto exchange = [&](int variant, std::uint8_t command, const frame::Bytes& payload) {
    rx += frame::Build(variant, 1, command, payload).size();
    const frame::Bytes reply = line.Transceive(variant, command, payload);
    tx += reply.size();
    return frame::ValidateReply(variant, reply, data);
  };
  const auto account = [](std::size_t in, std::size_t out, int replies, std::size_t chipUs) {
    return "OK rx=" + std::to_string(in) + " tx=" + std::to_string(out) + " replies=" + std::to_string(replies) +
           " wire_us=" + std::to_string((in + out) * 110) + " chip_us=" + std::to_string(chipUs) + " ";
  };

  ASSERT_EQ(exchange(0, 0xF0, {}), 0);
  ASSERT_EQ(exchange(1, 0xC0, {1}), 0);
  ASSERT_EQ(data.size(), 15u);
  ASSERT_EQ(exchange(1, 0xC2, frame::Bytes(data.begin() + 3, data.end())), 0);
  ASSERT_EQ(exchange(1, 0xC4, {3, 0, 0, 0, 1, 2, 3, 4}), 0);  // two words: 3 ms of chip
  // A late reply still comes whole, late on top of its time on the line.
  ASSERT_EQ(sim.Command("fault late 20 1").rfind("OK", 0), 0u);
  ASSERT_EQ(exchange(0, 0xF0, {}), 0);
  EXPECT_THAT(sim.Command("wire"), testing::StartsWith(account(rx, tx, 5, 3000)));

  // Unpaced, the bytes are still counted, but take no time on the line.
  const std::size_t pacedRx = rx;
  const std::size_t pacedTx = tx;
  EXPECT_EQ(sim.Command("pace off"), "OK off");
  ASSERT_EQ(exchange(0, 0xF0, {}), 0);
  EXPECT_THAT(sim.Command("wire"),
              testing::HasSubstr("rx=" + std::to_string(rx) + " tx=" + std::to_string(tx) +
                                 " replies=6 wire_us=" + std::to_string((pacedRx + pacedTx) * 110) + " chip_us=3000 "));
  EXPECT_EQ(sim.Command("wire reset"), "OK");
  EXPECT_THAT(sim.Command("wire"), testing::StartsWith(account(0, 0, 0, 0)));
}

// A held reply waits for the control channel's word, however long: the test
// holds an exchange open without a clock.
TEST(SimProcess, HeldRepliesGoOutOnRelease) {
  SimProcess sim({"--quiet"});
  RawTerminal line(sim.PtyPath());
  ASSERT_TRUE(line.Open());
  EXPECT_EQ(sim.Command("hold"), "OK 0");
  ASSERT_TRUE(line.Send(0, 0xF0, {}));
  // Until the request has reached the reader and its reply is held (a
  // bound only against a simulator that never holds it).
  for (int asked = 0; asked < 100000 && sim.Command("hold") != "OK 1"; ++asked) {
  }
  ASSERT_EQ(sim.Command("hold"), "OK 1");
  EXPECT_FALSE(line.Readable());
  EXPECT_EQ(sim.Command("release"), "OK 1");
  frame::Bytes data;
  EXPECT_EQ(frame::ValidateReply(0, line.Receive(0), data), 0);
  EXPECT_EQ(std::string(data.begin(), data.end()), "3125");
  // Released, replies go out at once again.
  EXPECT_EQ(frame::ValidateReply(0, line.Transceive(0, 0xF0, {}), data), 0);
  EXPECT_EQ(sim.Command("release"), "OK 0");
}

TEST(SimProcess, EndsCleanlyOnSigtermAndServesTcp) {
  SimProcess sim({"--quiet", "--tcp", "0", "--model", "3223"});
  EXPECT_NE(sim.TcpPort(), 0);
  EXPECT_EQ(sim.Command("power"), "OK 270");
  const int status = sim.Stop();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(SimProcess, ReportsAProgramThatDoesNotComeUp) {
  EXPECT_THROW(SimProcess({"--record", "/nonexistent-dir/record.txt"}), std::runtime_error);
  EXPECT_THROW(SimProcess({}, "/nonexistent/mkv-sim"), std::runtime_error);
}

}  // namespace
}  // namespace mkvsim
