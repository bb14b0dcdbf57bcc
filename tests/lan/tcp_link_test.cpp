// The TCP link on loopback: against a plain listening socket of the test,
// and through the SDK against mkv-sim's reader channel.
#include "lan/tcp_link.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "reader/qlmkv_port.h"
#include "reader/rdr.h"
#include "sim/sim_process.h"
#include "tests/fakes/event_loop.h"
#include "tests/fakes/piecewise_reader.h"

namespace qlmkv::lan {
namespace {

using namespace std::chrono_literals;

// Collects what the link delivers and lets the test wait for a count.
class CollectingSink final : public ByteSink {
 public:
  void OnReceiveChar(std::uint8_t byte) override {
    {
      std::lock_guard lock(mutex_);
      bytes_.push_back(byte);
    }
    arrived_.notify_all();
  }
  std::vector<std::uint8_t> WaitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, 3s, [&] { return bytes_.size() >= count; });
    return bytes_;
  }
  std::size_t Count() {
    std::lock_guard lock(mutex_);
    return bytes_.size();
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<std::uint8_t> bytes_;
};

class Listener {
 public:
  Listener() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof addr;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && ::listen(fd_, 2) == 0 &&
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &size) == 0)
      port_ = ntohs(addr.sin_port);
  }
  ~Listener() {
    if (peer_ >= 0) ::close(peer_);
    ::close(fd_);
  }
  std::string Address() const { return "127.0.0.1-" + std::to_string(port_); }
  std::uint16_t Port() const { return port_; }
  bool Accept() {
    pollfd pfd{fd_, POLLIN, 0};
    if (::poll(&pfd, 1, 3000) != 1) return false;
    peer_ = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    return peer_ >= 0;
  }
  bool Write(const std::vector<std::uint8_t>& bytes) {
    return ::write(peer_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }
  std::vector<std::uint8_t> Read(std::size_t count) {
    std::vector<std::uint8_t> bytes;
    while (bytes.size() < count) {
      pollfd pfd{peer_, POLLIN, 0};
      if (::poll(&pfd, 1, 3000) != 1) break;
      std::uint8_t chunk[256];
      const ssize_t n = ::read(peer_, chunk, sizeof chunk);
      if (n <= 0) break;
      bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
  }
  int Peer() const { return peer_; }
  void ClosePeer() {
    ::close(peer_);
    peer_ = -1;
  }

 private:
  int fd_;
  int peer_ = -1;
  std::uint16_t port_ = 0;
};

TEST(LanTcpLink, FramesGoOutAndBytesComeInUntilClose) {
  Listener listener;
  ASSERT_NE(listener.Port(), 0);
  CollectingSink sink;
  CTCPSocketThread link(sink);
  ASSERT_TRUE(link.ConnectReader(listener.Address(), ""));
  ASSERT_TRUE(listener.Accept());

  const std::uint8_t first[] = {1, 2, 3};
  const std::uint8_t second[] = {4, 5};
  link.Send(first, sizeof first, 500ms);
  link.Send(second, sizeof second, 500ms);
  EXPECT_EQ(listener.Read(5), (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));

  std::vector<std::uint8_t> reply(600);
  for (std::size_t i = 0; i < reply.size(); ++i) reply[i] = static_cast<std::uint8_t>(i);
  ASSERT_TRUE(listener.Write(reply));
  EXPECT_EQ(sink.WaitFor(reply.size()), reply);

  link.Close();
  const std::size_t atClose = sink.Count();
  listener.Write({9, 9, 9});
  link.Close();  // twice is fine
  EXPECT_EQ(sink.Count(), atClose);
}

TEST(LanTcpLink, RefusedAndUnusableAddressesFail) {
  std::uint16_t closedPort;
  {
    Listener gone;
    closedPort = gone.Port();
  }
  for (const std::string& address : {"127.0.0.1-" + std::to_string(closedPort), std::string("127.0.0.1-abc"),
                                     std::string("localhost"), std::string("")}) {
    CollectingSink sink;
    CTCPSocketThread link(sink);
    EXPECT_FALSE(link.ConnectReader(address, "")) << address;
  }
}

TEST(LanTcpLink, ClosedByThePeerTheLinkDropsFramesWithoutHanging) {
  Listener listener;
  CollectingSink sink;
  CTCPSocketThread link(sink);
  ASSERT_TRUE(link.ConnectReader(listener.Address(), ""));
  ASSERT_TRUE(listener.Accept());
  listener.ClosePeer();
  // On loopback the reader's port is the listener's own, so the reconnect
  // from it cannot bind: the frames are dropped and Close still ends at once.
  const std::uint8_t frame[] = {1};
  for (int i = 0; i < 3; ++i) link.Send(frame, sizeof frame, 100ms);
  link.Close();
  EXPECT_EQ(sink.Count(), 0u);
}

// Frames of 1000 bytes with their number in front and a pattern after it.
std::vector<std::uint8_t> NumberedFrame(int number) {
  std::vector<std::uint8_t> frame(1000);
  for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>(number * 7 + static_cast<int>(i));
  frame[0] = static_cast<std::uint8_t>(number >> 8);
  frame[1] = static_cast<std::uint8_t>(number & 0xFF);
  return frame;
}

// The caller sends what the socket takes at once, the worker the rest: with a
// peer that reads late, frames end up partly sent, queued and sent by both,
// and still arrive whole, in order and once.
TEST(LanTcpLink, FramesSentByTheCallerAndTheWorkerArriveWholeAndInOrder) {
  Listener listener;
  CollectingSink sink;
  CTCPSocketThread link(sink);
  ASSERT_TRUE(link.ConnectReader(listener.Address(), ""));
  ASSERT_TRUE(listener.Accept());
  constexpr int kFrames = 4000;  // some megabytes: more than the socket buffers hold
  std::thread sender([&] {
    for (int n = 0; n < kFrames; ++n) {
      const std::vector<std::uint8_t> frame = NumberedFrame(n);
      link.Send(frame.data(), frame.size(), 10s);
    }
  });
  std::this_thread::sleep_for(100ms);  // the buffers fill meanwhile
  const std::vector<std::uint8_t> stream = listener.Read(kFrames * 1000);
  sender.join();
  ASSERT_EQ(stream.size(), kFrames * 1000u);
  for (int n = 0; n < kFrames; ++n) {
    ASSERT_TRUE(std::equal(stream.begin() + n * 1000, stream.begin() + (n + 1) * 1000, NumberedFrame(n).begin()))
        << "frame " << n;
  }
  link.Close();
}

// Close races an exchange on a TCP link at every point of it: before the
// send, during it, in the wait. Run under ThreadSanitizer as well.
TEST(LanTcpLink, CloseDuringExchangeRaces) {
  std::mt19937 random(11);
  std::uniform_int_distribution<int> delayUs(0, 300);
  for (int round = 0; round < 200; ++round) {
    Listener listener;
    auto connection = std::make_unique<CQL_MKV_Port>(1, 600000);
    auto link = std::make_unique<CTCPSocketThread>(*connection);
    ASSERT_TRUE(link->ConnectReader(listener.Address(), ""));
    connection->AttachTransport(std::move(link));
    ASSERT_TRUE(listener.Accept());
    std::atomic<bool> go{false};
    std::thread exchange([&] {
      while (!go.load()) {
      }
      frame::Bytes data;
      EXPECT_FALSE(connection->Transceive(0xF0, {}, data));
    });
    const auto delay = std::chrono::microseconds(delayUs(random));
    go = true;
    std::this_thread::sleep_for(delay);
    connection->CloseTransport();
    exchange.join();
  }
}

// A reader connection over the TCP link to the test's listener. The
// listener's side sends each write at once, not once the last one is
// acknowledged, so what the test writes arrives when written.
struct TcpConnection {
  explicit TcpConnection(int timeoutMs) : port(1, timeoutMs) {}
  bool Open() {
    auto link = std::make_unique<CTCPSocketThread>(port);
    if (!link->ConnectReader(listener.Address(), "")) return false;
    port.AttachTransport(std::move(link));
    const int noDelay = 1;
    return listener.Accept() && ::setsockopt(listener.Peer(), IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay) == 0;
  }
  Listener listener;  // outlives the connection
  CQL_MKV_Port port;
};

// A waiting exchange reads the socket itself, the worker does at other
// times: a reply that comes in pieces, each read by whichever of them reads
// the socket then, reaches its exchange whole and in order, every time.
TEST(LanTcpLink, RepliesInPiecesReachTheirExchangesWholeAndInOrder) {
  TcpConnection tcp(2000);
  ASSERT_TRUE(tcp.Open());
  Listener& listener = tcp.listener;
  CQL_MKV_Port& connection = tcp.port;
  constexpr int kExchanges = 1000;
  auto reader = std::async(std::launch::async, [&] { return test::AnswerInPieces(listener.Peer(), kExchanges, 5); });
  for (int n = 0; n < kExchanges; ++n) {
    frame::Bytes data;
    ASSERT_TRUE(connection.Transceive(0xF0, {}, data)) << "exchange " << n << ": " << connection.LastError();
    ASSERT_EQ(data, test::NumberedVersion(n)) << "exchange " << n;
  }
  EXPECT_EQ(reader.get(), kExchanges);
  connection.CloseTransport();
}

// Between exchanges the worker leaves the socket to the callers: a stray
// reply that came meanwhile is met by the next exchange before its frame goes
// out (and drained, not taken for its reply), and a wait that dispatches a
// front end's events has the worker deliver the reply again.
TEST(LanTcpLink, WhatComesBetweenExchangesIsMetByTheNextOne) {
  struct Case {
    const char* name;
    bool strayReply;
    bool dispatchedWait;
  };
  const Case cases[] = {
      {"stray reply", true, false},
      {"dispatched wait", false, true},
      {"stray reply, dispatched wait", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TcpConnection tcp(200);
    ASSERT_TRUE(tcp.Open());
    Listener& listener = tcp.listener;
    CQL_MKV_Port& connection = tcp.port;
    const auto reply = [](int n) { return frame::Build(0, 1, 0x00, test::NumberedVersion(n)); };
    const auto exchange = [&](int n) {
      auto reader =
          std::async(std::launch::async, [&] { return listener.Read(5).size() == 5 && listener.Write(reply(n)); });
      frame::Bytes data;
      const bool ok = connection.Transceive(0xF0, {}, data);
      EXPECT_TRUE(reader.get());
      return ok ? data : frame::Bytes{};
    };
    // A few exchanges bring the worker to rest.
    for (int n = 0; n < 3; ++n) {
      ASSERT_EQ(exchange(n), test::NumberedVersion(n));
    }
    if (c.strayReply) {
      ASSERT_TRUE(listener.Write(reply(99)));
    }
    test::FakeEventLoop loop;
    std::optional<test::DispatchingTo> dispatching;
    if (c.dispatchedWait) dispatching.emplace(loop);
    EXPECT_EQ(exchange(3), test::NumberedVersion(3));
    EXPECT_EQ(loop.dispatches > 0, c.dispatchedWait);
    dispatching.reset();
    connection.CloseTransport();
  }
}

class SdkOverTcp : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_ = std::make_unique<mkvsim::SimProcess>(std::vector<std::string>{"--tcp", "0", "--quiet", "--tags", "1"});
  }
  void TearDown() override {
    for (const int handle : handles_) RdrClose(handle);
  }
  int Open() {
    const std::string address = "127.0.0.1-" + std::to_string(sim_->TcpPort());
    const int handle = RdrOpen(address.c_str(), 19200, 0, 500);
    if (handle > 0) handles_.push_back(handle);
    return handle;
  }
  std::unique_ptr<mkvsim::SimProcess> sim_;
  std::vector<int> handles_;
};

TEST_F(SdkOverTcp, HandlesFrom20001LowestFreeFirst) {
  const int first = Open();
  const int second = Open();
  EXPECT_EQ(first, 20001);
  EXPECT_EQ(second, 20002);
  ASSERT_EQ(RdrClose(first), 0);
  handles_.erase(handles_.begin());
  EXPECT_EQ(Open(), 20001);
}

TEST_F(SdkOverTcp, VersionWriteAndReadOverTcp) {
  const int handle = Open();
  ASSERT_GT(handle, 0);
  unsigned char version[8] = {};
  char model[32] = {};
  ASSERT_EQ(RdrGetVersion(handle, version, sizeof version, model, sizeof model), 4);
  EXPECT_EQ(RdrIsUsb(handle), 0);

  unsigned char inventory[100] = {};
  const int length = RdrInventory(handle, 1, inventory, sizeof inventory);
  ASSERT_GE(length, 3 + 12);
  ASSERT_EQ(RdrSelectTag(handle, inventory + 3, length - 3), 0);
  const unsigned char data[4] = {0xCA, 0xFE, 0x00, 0x01};
  ASSERT_EQ(RdrWriteData(handle, 3, 0, data, 4), 0);
  unsigned char back[4] = {};
  ASSERT_EQ(RdrReadData(handle, 3, 0, back, 4), 4);
  EXPECT_EQ(std::vector<unsigned char>(back, back + 4), std::vector<unsigned char>(data, data + 4));
}

TEST_F(SdkOverTcp, SilentReaderEndsWithTheReplyTimeOut) {
  const int handle = Open();
  ASSERT_GT(handle, 0);
  ASSERT_EQ(sim_->Command("fault drop").rfind("OK", 0), 0u);
  unsigned char version[8] = {};
  EXPECT_EQ(RdrGetVersion(handle, version, sizeof version, nullptr, 0), -1);
  EXPECT_EQ(RdrGetLastError(handle), RDR_ERR_TIMEOUT);
  ASSERT_EQ(sim_->Command("fault clear").rfind("OK", 0), 0u);
  EXPECT_EQ(RdrGetVersion(handle, version, sizeof version, nullptr, 0), 4);
}

}  // namespace
}  // namespace qlmkv::lan
