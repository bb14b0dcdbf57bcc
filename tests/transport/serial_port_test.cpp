// CUSBSerialPort on real pseudo-terminals: the test plays the reader on the
// master side.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>

#include <atomic>
#include <chrono>
#include <future>
#include <optional>
#include <random>
#include <thread>

#include "reader/qlmkv_port.h"
#include "reader/rdr.h"
#include "tests/fakes/event_loop.h"
#include "tests/fakes/piecewise_reader.h"
#include "tests/transport/transport_test_util.h"
#include "transport/custom_baud.h"
#include "transport/transports.h"
#include "transport/usb_serial_port.h"

namespace qlmkv {
namespace {

using test::Bytes;
using test::Pattern;
using test::PseudoTerminal;
using test::RecordingListener;

constexpr std::uint32_t kMask = comm_event::kRxChar | comm_event::kCts;

bool Open(CUSBSerialPort& port, RecordingListener& listener, const std::string& name, std::uint32_t baud = 19200,
          char parity = 'N', std::uint32_t stopBits = 1, int handshake = 0) {
  return port.InitPort(&listener, name, baud, parity, 8, stopBits, handshake, kMask, 512);
}

// Waits (bounded) until the worker reports the line closed.
bool WaitUntilClosed(const CUSBSerialPort& port) {
  const auto deadline = std::chrono::steady_clock::now() + test::kPatience;
  while (port.IsOpen() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return !port.IsOpen();
}

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(pty_.ok()); }
  PseudoTerminal pty_;
  RecordingListener listener_;
  CUSBSerialPort port_;
};

TEST_F(SerialPortTest, OpensByPathWithOrWithoutDescriptionAndCarriesBytesBothWays) {
  const std::string names[] = {pty_.slavePath(), pty_.slavePath() + " [Vex Virtual COM]", "\\\\.\\" + pty_.slavePath()};
  std::uint8_t round = 0;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    RecordingListener listener;
    CUSBSerialPort port;
    ASSERT_TRUE(Open(port, listener, name));
    EXPECT_FALSE(port.IsD2xxMode());
    ASSERT_TRUE(port.StartMonitoring());

    const Bytes toPort = {0x02, 0x01, 0xF0, round};
    pty_.Write(toPort);
    EXPECT_EQ(listener.WaitForBytes(toPort.size()), toPort);

    const Bytes fromPort = {0xAA, round, 0x55};
    port.WriteToPort(fromPort.data(), static_cast<int>(fromPort.size()));
    EXPECT_EQ(pty_.Read(fromPort.size()), fromPort);
    port.ClosePort();
    ++round;
  }
}

TEST_F(SerialPortTest, DeliversManyBytesInOrder) {
  ASSERT_TRUE(Open(port_, listener_, pty_.slavePath()));
  ASSERT_TRUE(port_.StartMonitoring());
  const Bytes sent = Pattern(3000);
  for (std::size_t offset = 0; offset < sent.size(); offset += 300)
    pty_.Write(Bytes(sent.begin() + static_cast<long>(offset), sent.begin() + static_cast<long>(offset + 300)));
  EXPECT_EQ(listener_.WaitForBytes(sent.size()), sent);
}

TEST_F(SerialPortTest, WriteBufferHoldsAtMostItsCapacityUntilWritten) {
  ASSERT_TRUE(Open(port_, listener_, pty_.slavePath()));
  // No worker yet, so nothing drains the buffer.
  const Bytes block = Pattern(512);
  port_.WriteToPort(block.data(), 500);
  port_.WriteToPort(block.data() + 500, 12);
  EXPECT_EQ(port_.PendingBytes(), 512u);
  const std::uint8_t extra = 0xEE;
  port_.WriteToPort(&extra, 1);
  EXPECT_EQ(port_.PendingBytes(), 512u);

  ASSERT_TRUE(port_.StartMonitoring());
  EXPECT_EQ(pty_.Read(512), block);
  // The dropped byte never follows, and the emptied buffer takes bytes again.
  port_.WriteToPort(reinterpret_cast<const std::uint8_t*>("ok"), -1);
  EXPECT_EQ(pty_.Read(2), (Bytes{'o', 'k'}));
}

struct LineCase {
  std::uint32_t baud;
  char parity;
  std::uint32_t stopBits;
  int handshake;
  speed_t speed;
  tcflag_t cflagSet;
  tcflag_t cflagClear;
  tcflag_t iflagSet;
  tcflag_t iflagClear;
};

TEST_F(SerialPortTest, AppliesLineSettings) {
  // The pseudo-terminal driver keeps 8 bits without parity whatever it is
  // told, so parity shows through input checking (INPCK) and PARODD.
  const LineCase cases[] = {
      {19200, 'N', 1, 0, B19200, CS8, PARODD | CSTOPB | CRTSCTS, 0, IXON | IXOFF | INPCK},
      {9600, 'E', 1, 0, B9600, CS8, PARODD | CSTOPB, INPCK, 0},
      {115200, 'O', 1, 1, B115200, CS8 | PARODD | CRTSCTS, CSTOPB, INPCK, IXON | IXOFF},
      {57600, 'N', 2, 2, B57600, CS8 | CSTOPB, PARODD | CRTSCTS, IXON | IXOFF, INPCK},
      {38400, 'N', 1, 3, B38400, CS8, PARODD | CRTSCTS, 0, IXON | IXOFF},
      {4800, 'o', 1, 7, B4800, CS8 | PARODD, CRTSCTS, INPCK, IXON | IXOFF},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.baud << ' ' << c.parity << ' ' << c.stopBits << " hs" << c.handshake);
    CUSBSerialPort port;
    ASSERT_TRUE(Open(port, listener_, pty_.slavePath(), c.baud, c.parity, c.stopBits, c.handshake));
    termios tio{};
    ASSERT_EQ(tcgetattr(pty_.master(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), c.speed);
    EXPECT_EQ(tio.c_cflag & (c.cflagSet | CSIZE), c.cflagSet | CS8);
    EXPECT_EQ(tio.c_cflag & c.cflagClear, 0u);
    EXPECT_EQ(tio.c_iflag & c.iflagSet, c.iflagSet);
    EXPECT_EQ(tio.c_iflag & c.iflagClear, 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);  // raw
    if (c.handshake == 2) {
      EXPECT_EQ(tio.c_cc[VSTART], 0x11);
      EXPECT_EQ(tio.c_cc[VSTOP], 0x13);
    }
  }
}

// Rates outside the fixed table go through the custom-speed interface; the
// line is raw whatever the rate, also when the driver refuses it (rate 0).
TEST_F(SerialPortTest, AnyRateIsSetAndTheLineIsRawWhateverTheRate) {
  struct RateCase {
    std::uint32_t baud;
    char parity;
    bool rateTaken;
  };
  const RateCase cases[] = {{14400, 'N', true},  {28800, 'E', true},  {56000, 'N', true},
                            {128000, 'O', true}, {256000, 'N', true}, {12345, 'N', true},
                            {19200, 'N', true},  {0, 'N', false},     {31250, 'X', false}};
  for (const RateCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.baud << ' ' << c.parity);
    // Start from a canonical line with echo, as a fresh terminal is.
    termios cooked{};
    ASSERT_EQ(tcgetattr(pty_.master(), &cooked), 0);
    cooked.c_lflag |= ICANON | ECHO;
    cfsetospeed(&cooked, B9600);
    cfsetispeed(&cooked, B9600);
    ASSERT_EQ(tcsetattr(pty_.master(), TCSANOW, &cooked), 0);

    RecordingListener listener;
    CUSBSerialPort port;
    ASSERT_TRUE(Open(port, listener, pty_.slavePath(), c.baud, c.parity));
    termios tio{};
    ASSERT_EQ(tcgetattr(pty_.master(), &tio), 0);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    unsigned in = 0, out = 0;
    ASSERT_TRUE(ReadBaudRates(pty_.master(), in, out));
    if (c.rateTaken) {
      EXPECT_EQ(out, c.baud);
      EXPECT_EQ(in, c.baud);
    } else {
      EXPECT_EQ(out, 9600u);
    }
    // Bytes pass through unchanged (no line editing, no echo to the reader).
    ASSERT_TRUE(port.StartMonitoring());
    pty_.Write({'a', 0x7F, '\r', 0x03});
    EXPECT_EQ(listener.WaitForBytes(4), (Bytes{'a', 0x7F, '\r', 0x03}));
  }
}

TEST_F(SerialPortTest, RejectedSettingsLeaveThePortOpenAndPurged) {
  for (const auto& [baud, parity] : {std::pair<std::uint32_t, char>{12345, 'N'}, {19200, 'X'}}) {
    SCOPED_TRACE(baud);
    // Bytes the line received before the open must be gone after it. A second
    // descriptor on the line shows when they have arrived.
    const int observer = ::open(pty_.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(observer, 0);
    termios raw{};
    ASSERT_EQ(tcgetattr(observer, &raw), 0);
    cfmakeraw(&raw);
    ASSERT_EQ(tcsetattr(observer, TCSANOW, &raw), 0);
    pty_.Write({'s', 't', 'a', 'l', 'e'});
    pollfd fd{observer, POLLIN, 0};
    ASSERT_EQ(poll(&fd, 1, 10000), 1);

    RecordingListener listener;
    CUSBSerialPort port;
    ASSERT_TRUE(Open(port, listener, pty_.slavePath(), baud, parity));
    ::close(observer);
    EXPECT_TRUE(port.IsOpen());
    ASSERT_TRUE(port.StartMonitoring());
    pty_.Write({'n', 'e', 'w'});
    EXPECT_EQ(listener.WaitForBytes(3), (Bytes{'n', 'e', 'w'}));
  }
}

TEST_F(SerialPortTest, HangUpOfTheOtherSideIsALostLine) {
  ASSERT_TRUE(Open(port_, listener_, pty_.slavePath()));
  ASSERT_TRUE(port_.StartMonitoring());
  pty_.CloseMaster();
  const auto errors = listener_.WaitForLineError();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], line_error::kPortLost);
  EXPECT_TRUE(WaitUntilClosed(port_));
  // Later writes are taken but go nowhere; closing still completes, twice.
  port_.WriteToPort(reinterpret_cast<const std::uint8_t*>("x"), -1);
  port_.WriteNow(reinterpret_cast<const std::uint8_t*>("y"), 1, std::chrono::milliseconds(100));
  port_.ClosePort();
  port_.ClosePort();
  EXPECT_FALSE(port_.IsMonitoring());
}

// The caller writes what the line takes at once, the worker the rest: while
// the line fills and drains, no frame overtakes bytes queued before it, and
// none is cut or doubled (one that does not fit the write buffer is dropped
// whole).
TEST_F(SerialPortTest, FramesWrittenByTheCallerArriveWholeAndInOrder) {
  ASSERT_TRUE(Open(port_, listener_, pty_.slavePath()));
  ASSERT_TRUE(port_.StartMonitoring());
  constexpr std::size_t kFrameSize = 100;
  constexpr int kFrames = 600;
  const auto frameOf = [](int number) {
    Bytes frame(kFrameSize);
    for (std::size_t i = 0; i < kFrameSize; ++i) frame[i] = static_cast<std::uint8_t>(number + static_cast<int>(i));
    frame[0] = static_cast<std::uint8_t>(number >> 8);
    frame[1] = static_cast<std::uint8_t>(number & 0xFF);
    return frame;
  };
  std::atomic<bool> written{false};
  std::thread writer([&] {
    for (int n = 0; n < kFrames; ++n) {
      const Bytes frame = frameOf(n);
      port_.WriteNow(frame.data(), frame.size(), test::kPatience);
    }
    written = true;
  });
  Bytes stream;
  const auto deadline = std::chrono::steady_clock::now() + test::kPatience;
  for (;;) {
    const bool done = written.load() && port_.PendingBytes() == 0;
    pollfd fd{pty_.master(), POLLIN, 0};
    if (poll(&fd, 1, done ? 100 : 10) > 0) {
      std::uint8_t buffer[1024];
      const ssize_t n = ::read(pty_.master(), buffer, sizeof buffer);
      if (n > 0) stream.insert(stream.end(), buffer, buffer + n);
    } else if (done || std::chrono::steady_clock::now() > deadline) {
      break;
    }
  }
  writer.join();
  ASSERT_EQ(stream.size() % kFrameSize, 0u);
  ASSERT_FALSE(stream.empty());
  int last = -1;
  for (std::size_t at = 0; at < stream.size(); at += kFrameSize) {
    const int number = stream[at] << 8 | stream[at + 1];
    ASSERT_GT(number, last) << "frame at byte " << at;
    ASSERT_EQ(Bytes(stream.begin() + static_cast<long>(at), stream.begin() + static_cast<long>(at + kFrameSize)),
              frameOf(number))
        << "frame at byte " << at;
    last = number;
  }
}

TEST_F(SerialPortTest, StartMonitoringTwiceAndCloseTwice) {
  ASSERT_TRUE(Open(port_, listener_, pty_.slavePath()));
  EXPECT_TRUE(port_.StartMonitoring());
  EXPECT_TRUE(port_.IsMonitoring());
  EXPECT_FALSE(port_.StartMonitoring());
  port_.ClosePort();
  EXPECT_FALSE(port_.IsOpen());
  EXPECT_FALSE(port_.IsMonitoring());
  port_.ClosePort();
  EXPECT_FALSE(port_.StartMonitoring());
}

TEST_F(SerialPortTest, PortObjectCanBeOpenedAgain) {
  ASSERT_TRUE(Open(port_, listener_, pty_.slavePath()));
  ASSERT_TRUE(port_.StartMonitoring());
  ASSERT_TRUE(Open(port_, listener_, pty_.slavePath()));  // retires the old worker and line
  EXPECT_FALSE(port_.IsMonitoring());
  ASSERT_TRUE(port_.StartMonitoring());
  pty_.Write({1, 2, 3});
  EXPECT_EQ(listener_.WaitForBytes(3), (Bytes{1, 2, 3}));
}

TEST(SerialPortOpenTest, MissingOrUnusableDevicesDoNotOpen) {
  for (const std::string name : {"/dev/qlmkv-no-such-tty", "/dev/null", "COM999999999999"}) {
    SCOPED_TRACE(name);
    CUSBSerialPort port;
    EXPECT_FALSE(port.InitPort(nullptr, name, 19200, 'N', 8, 1, 0, kMask, 512));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.StartMonitoring());
  }
}

// A line is held while its holder lives, and free again once it is killed:
// no exclusive flag stays behind on the line.
TEST(SerialPortOpenTest, LineHeldByALiveProgramIsRefusedAndFreedWhenItDies) {
  PseudoTerminal pty;
  ASSERT_TRUE(pty.ok());
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t holder = fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    CUSBSerialPort port;
    const char ok = port.InitPort(nullptr, pty.slavePath(), 19200, 'N', 8, 1, 0, kMask, 512) ? 'y' : 'n';
    if (::write(ready[1], &ok, 1) != 1) _exit(1);
    for (;;) pause();
  }
  ::close(ready[1]);
  char opened = 0;
  ASSERT_EQ(::read(ready[0], &opened, 1), 1);
  ::close(ready[0]);
  EXPECT_EQ(opened, 'y');

  CUSBSerialPort second;
  EXPECT_FALSE(second.InitPort(nullptr, pty.slavePath(), 19200, 'N', 8, 1, 0, kMask, 512));  // held: refused

  ASSERT_EQ(kill(holder, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(waitpid(holder, &status, 0), holder);

  const int probe = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(probe, 0);
  int exclusive = -1;
  ASSERT_EQ(ioctl(probe, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0) << "the killed holder left the line exclusive";
  ::close(probe);

  CUSBSerialPort third;
  EXPECT_TRUE(third.InitPort(nullptr, pty.slavePath(), 19200, 'N', 8, 1, 0, kMask, 512));
  // The same process holds it now: another port of it is refused too.
  CUSBSerialPort fourth;
  EXPECT_FALSE(fourth.InitPort(nullptr, pty.slavePath(), 19200, 'N', 8, 1, 0, kMask, 512));
  third.ClosePort();
  EXPECT_TRUE(fourth.InitPort(nullptr, pty.slavePath(), 19200, 'N', 8, 1, 0, kMask, 512));
}

TEST(SerialTransportTest, SendsFramesAndDeliversRepliesToTheSink) {
  PseudoTerminal pty;
  ASSERT_TRUE(pty.ok());
  RecordingListener sink;
  auto transport = OpenSerialTransport(pty.slavePath(), LineSettings{}, sink);
  ASSERT_NE(transport, nullptr);
  EXPECT_FALSE(transport->IsUsb());
  const Bytes request = {0x02, 0x01, 0xF0, 0x00, 0xF1};
  transport->Send(request.data(), request.size(), std::chrono::milliseconds(1000));
  EXPECT_EQ(pty.Read(request.size()), request);
  // A line with room takes a frame whatever its time-out, even none at all.
  transport->Send(request.data(), request.size(), std::chrono::milliseconds(0));
  EXPECT_EQ(pty.Read(request.size()), request);
  pty.Write({0x02, 0x01, 0x00});
  EXPECT_EQ(sink.WaitForBytes(3), (Bytes{0x02, 0x01, 0x00}));
  transport->Close();
  transport->Close();
}

// A reader connection over a real serial transport on the pseudo-terminal.
struct PtyConnection {
  explicit PtyConnection(const std::string& path, int timeoutMs) : port(1, timeoutMs) {
    port.AttachTransport(OpenSerialTransport(path, LineSettings{}, port));
  }
  CQL_MKV_Port port;
};

// Fills the line's output until it takes no more: nobody reads the master.
void FillOutput(const std::string& slavePath) {
  const int fd = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  const Bytes chunk(4096, 0x55);
  while (::write(fd, chunk.data(), chunk.size()) > 0) {
  }
  ::close(fd);
}

void Drain(const PseudoTerminal& pty) {
  std::uint8_t buffer[4096];
  pollfd fd{pty.master(), POLLIN, 0};
  while (poll(&fd, 1, 10) > 0 && ::read(pty.master(), buffer, sizeof buffer) > 0) {
  }
}

// A line that takes no output must not hold up the caller: each exchange ends
// with a time-out of its own, the next one included.
TEST(SerialTransportTest, StalledLineEndsEveryExchangeWithATimeOut) {
  PseudoTerminal pty;
  ASSERT_TRUE(pty.ok());
  PtyConnection connection(pty.slavePath(), 50);
  FillOutput(pty.slavePath());
  auto exchanges = std::async(std::launch::async, [&] {
    int timeouts = 0;
    for (int i = 0; i < 3; ++i) {
      Bytes data;
      if (!connection.port.Transceive(0xF0, {}, data) && connection.port.LastError() == RDR_ERR_TIMEOUT) ++timeouts;
    }
    return timeouts;
  });
  const bool ended = exchanges.wait_for(test::kPatience) == std::future_status::ready;
  EXPECT_TRUE(ended) << "an exchange waits for the stalled line";
  if (!ended) Drain(pty);  // frees the caller so the test can end
  EXPECT_EQ(exchanges.get(), 3);
  connection.port.CloseTransport();
}

// Closing from another thread ends a waiting exchange at once, not after its
// (here very long) time-out; also while its frame is stuck on a full line.
TEST(SerialTransportTest, CloseEndsAWaitingExchange) {
  for (const bool stalled : {false, true}) {
    SCOPED_TRACE(stalled ? "stalled line" : "silent reader");
    PseudoTerminal pty;
    ASSERT_TRUE(pty.ok());
    PtyConnection connection(pty.slavePath(), 600000);
    if (stalled) FillOutput(pty.slavePath());
    auto exchange = std::async(std::launch::async, [&] {
      Bytes data;
      return connection.port.Transceive(0xF0, {}, data);
    });
    if (!stalled) pty.Read(5);  // the request is out: the exchange waits for the reply
    connection.port.CloseTransport();
    const bool ended = exchange.wait_for(test::kPatience) == std::future_status::ready;
    EXPECT_TRUE(ended);
    if (!ended) Drain(pty);
    EXPECT_FALSE(exchange.get());
  }
}

// A waiting exchange reads the line itself, the worker does at other times:
// a reply that comes in pieces, each read by whichever of them reads the line
// then, reaches its exchange whole and in order, every time.
TEST(SerialTransportTest, RepliesInPiecesReachTheirExchangesWholeAndInOrder) {
  PseudoTerminal pty;
  ASSERT_TRUE(pty.ok());
  PtyConnection connection(pty.slavePath(), 2000);
  constexpr int kExchanges = 1000;
  auto reader = std::async(std::launch::async, [&] { return test::AnswerInPieces(pty.master(), kExchanges, 3); });
  for (int n = 0; n < kExchanges; ++n) {
    Bytes data;
    ASSERT_TRUE(connection.port.Transceive(0xF0, {}, data)) << "exchange " << n << ": " << connection.port.LastError();
    ASSERT_EQ(data, test::NumberedVersion(n)) << "exchange " << n;
  }
  EXPECT_EQ(reader.get(), kExchanges);
  connection.port.CloseTransport();
}

// Between exchanges the worker leaves the line to the callers: a wait that
// dispatches a front end's events has it deliver the reply again, and a
// reader gone meanwhile ends the next exchange at once, not after its time-out.
TEST(SerialTransportTest, WhatComesBetweenExchangesIsMetByTheNextOne) {
  for (const bool readerGone : {false, true}) {
    SCOPED_TRACE(readerGone ? "reader gone" : "dispatched wait");
    PseudoTerminal pty;
    ASSERT_TRUE(pty.ok());
    PtyConnection connection(pty.slavePath(), 60000);
    const auto exchange = [&](int n) {
      auto reader = std::async(std::launch::async, [&] { return test::AnswerInPieces(pty.master(), 1, n); });
      Bytes data;
      const bool ok = connection.port.Transceive(0xF0, {}, data);
      reader.get();
      return ok ? data : Bytes{};
    };
    // A few exchanges bring the worker to rest.
    for (int n = 0; n < 3; ++n) {
      ASSERT_EQ(exchange(n), test::NumberedVersion(0));
    }
    test::FakeEventLoop loop;
    std::optional<test::DispatchingTo> dispatching;
    if (readerGone) {
      pty.CloseMaster();
      auto last = std::async(std::launch::async, [&] {
        Bytes data;
        return connection.port.Transceive(0xF0, {}, data);
      });
      ASSERT_EQ(last.wait_for(test::kPatience), std::future_status::ready) << "the exchange waits for its time-out";
      EXPECT_FALSE(last.get());
    } else {
      dispatching.emplace(loop);
      EXPECT_EQ(exchange(3), test::NumberedVersion(0));
      EXPECT_GT(loop.dispatches, 0);
    }
    dispatching.reset();
    connection.port.CloseTransport();
  }
}

// Close races an exchange at every point of it: before the send, during it,
// in the wait. Run under ThreadSanitizer and the leak checker as well.
TEST(SerialTransportTest, CloseDuringExchangeRaces) {
  PseudoTerminal pty;
  ASSERT_TRUE(pty.ok());
  std::mt19937 random(7);
  std::uniform_int_distribution<int> delayUs(0, 300);
  for (int round = 0; round < 1000; ++round) {
    auto connection = std::make_unique<PtyConnection>(pty.slavePath(), 600000);
    std::atomic<bool> go{false};
    std::thread exchange([&] {
      while (!go.load()) {
      }
      Bytes data;
      EXPECT_FALSE(connection->port.Transceive(0xF0, {}, data));
    });
    const auto delay = std::chrono::microseconds(delayUs(random));
    go = true;
    std::this_thread::sleep_for(delay);
    connection->port.CloseTransport();
    exchange.join();
    connection.reset();
    if (round % 50 == 0) Drain(pty);
  }
}

}  // namespace
}  // namespace qlmkv
