// Replies belong to their commands: the shapes a command's reply may have,
// the drain after a time-out, refusals with another reply on their heels, and
// one handle used from two threads.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "protocol/command_codes.h"
#include "protocol/reply_shape.h"
#include "reader/qlmkv_port.h"
#include "reader/rdr.h"
#include "tests/reader/scripted_reader.h"
#include "tests/reader/sdk_fixture.h"

namespace qlmkv::test {
namespace {

TEST(ReplyShape, EachCommandAllowsItsOwnData) {
  const Bytes read4 = {1, 2, 0, 0, 4};  // bank, address, count 4
  const Bytes epc12(12, 0xAB);
  auto inventory = [](std::uint8_t count, std::size_t extra) {
    Bytes data{count, 0x30, 0x00};
    data.resize(3 + extra, 0x11);
    return data;
  };
  struct Case {
    const char* name;
    std::uint8_t command;
    Bytes payload;
    Bytes data;
    bool fits;
  };
  const Case cases[] = {
      {"write ack", command::kWrite, {}, {}, true},
      {"write with data", command::kWrite, {}, {0x01}, false},
      {"write with password ack", command::kWritePw, {}, {}, true},
      {"lock with data", command::kLock, {}, {1, 2, 3, 4}, false},
      {"select with data", command::kSelectTag, epc12, epc12, false},
      {"mode with data", command::kSetMode, {0}, {'3', '1', '2', '5'}, false},
      {"read exact", command::kRead, read4, {1, 2, 3, 4}, true},
      {"read shorter", command::kRead, read4, {1, 2}, true},
      {"read longer", command::kRead, read4, {1, 2, 3, 4, 5}, false},
      {"read without count", command::kRead, {1, 2}, {}, false},
      {"inventory no tag", command::kInventory, {1}, inventory(0, 0), true},
      {"inventory no tag with more", command::kInventory, {1}, inventory(0, 12), false},
      {"inventory one tag", command::kInventory, {1}, inventory(1, 12), true},
      {"inventory one tag, odd EPC", command::kInventory, {1}, inventory(1, 11), false},
      {"inventory one tag, EPC too long", command::kInventory, {1}, inventory(1, 64), false},
      {"inventory several tags", command::kInventory, {1}, inventory(3, 37), true},
      {"inventory empty", command::kInventory, {1}, {}, false},
      {"inventory of two bytes", command::kInventory, {1}, {0, 0}, false},
      {"version", command::kVersion, {}, {'3', '1', '2', '5'}, true},
      {"device text", command::kDeviceText, {}, Bytes(40, 'x'), true},
      {"power", command::kGetTxPower, {}, {0x04, 0x01}, true},
      {"power set with data", command::kSetTxPower, {1, 2, 1}, {9}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(reply::Fits(c.command, c.payload, c.data), c.fits) << c.name;
  }
}

Bytes Reply0(std::uint8_t status, const Bytes& data = {}) { return frame::Build(0, 1, status, data); }

// A port over a scripted reader; the script answers per command code.
struct PortOverScript {
  PortOverScript(int timeoutMs, Script script) : reader(std::make_shared<ScriptedReader>(std::move(script))) {
    port = std::make_unique<CQL_MKV_Port>(1, timeoutMs);
    port->AttachTransport(reader->Connect(*port));
  }
  ~PortOverScript() { port->CloseTransport(); }
  bool Run(std::uint8_t command, const Bytes& payload, Bytes& data) {
    const CQL_MKV_Port::Turn turn(*port);
    return port->Transceive(command, payload, data);
  }
  // Waits (without a deadline of its own: the test's time-out bounds it)
  // until `count` bytes wait in the receive buffer.
  void AwaitReceived(std::size_t count) const {
    while (port->ReceivedCount() < count) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::shared_ptr<ScriptedReader> reader;
  std::unique_ptr<CQL_MKV_Port> port;
};

const Bytes kReadFour = {3, 0, 0, 0, 4};
const Bytes kFourBytes = {0xE2, 0x80, 0x11, 0x05};

// The reply to a read comes long after its time-out, while the next command,
// a write, waits for its own: the line is drained until quiet before the
// write goes out, so the write's acknowledgement is its own.
TEST(ReplyMatching, LateReplyIsDrainedBeforeTheNextFrameGoesOut) {
  std::atomic<int> requests{0};
  PortOverScript link(300, [&](const Bytes& request) {
    ++requests;
    if (request[2] == command::kRead) return Answer{{Reply0(0, kFourBytes), 400ms}};
    return Answer{{Reply0(0)}};
  });
  Bytes data;
  EXPECT_FALSE(link.Run(command::kRead, kReadFour, data));
  EXPECT_EQ(link.port->LastError(), RDR_ERR_TIMEOUT);
  EXPECT_EQ(link.port->LastErrorOrigin(), ErrorOrigin::kExchange);

  EXPECT_TRUE(link.Run(command::kWrite, {3, 0, 0, 0, 0xAA, 0xBB}, data)) << link.port->LastError();
  EXPECT_EQ(requests.load(), 2);
  EXPECT_EQ(link.port->UnansweredExchanges(), 0);
}

// Bytes that came while no exchange was open are somebody else's reply: the
// next exchange drains them instead of counting them into its own.
TEST(ReplyMatching, BytesBetweenExchangesAreDrained) {
  int calls = 0;
  PortOverScript link(30, [&](const Bytes&) {
    // The first request is answered twice: the second copy is stale.
    if (++calls == 1) return Answer{{Reply0(0, kFourBytes)}, {Reply0(0, kFourBytes), 200ms}};
    return Answer{{Reply0(0)}};
  });
  Bytes data;
  ASSERT_TRUE(link.Run(command::kRead, kReadFour, data));
  link.AwaitReceived(Reply0(0, kFourBytes).size());
  EXPECT_TRUE(link.Run(command::kWrite, {3, 0, 0, 0, 0xAA}, data)) << link.port->LastError();
}

// A reply of the wrong shape fails the exchange, whatever its checksum says.
TEST(ReplyMatching, RepliesThatCannotBeTheCommandsOwnFail) {
  struct Case {
    const char* name;
    std::uint8_t command;
    Bytes payload;
    Bytes reply;
  };
  const Case cases[] = {
      {"write answered with a read's data", command::kWrite, {3, 0, 0, 0, 1}, Reply0(0, kFourBytes)},
      {"read answered with more than asked", command::kRead, kReadFour, Reply0(0, {1, 2, 3, 4, 5, 6})},
      {"inventory answered with an acknowledgement", command::kInventory, {1}, Reply0(0)},
      {"select answered with a version", command::kSelectTag, {1, 2}, Reply0(0, {'3', '1', '2', '5'})},
  };
  for (const Case& c : cases) {
    PortOverScript link(200, [&](const Bytes&) { return Answer{{c.reply}}; });
    Bytes data{0xEE};
    EXPECT_FALSE(link.Run(c.command, c.payload, data)) << c.name;
    EXPECT_EQ(link.port->LastError(), RDR_ERR_REPLY_MISFIT) << c.name;
    EXPECT_EQ(link.port->LastErrorOrigin(), ErrorOrigin::kExchange) << c.name;
    EXPECT_EQ(data, Bytes{0xEE}) << c.name << ": nothing copied out";
  }
}

// A refusal is the reader's word only when nothing follows it: a refusal
// that arrives late stands in front of the real acknowledgement.
TEST(ReplyMatching, RefusalCountsOnlyWhenTheLineStaysQuiet) {
  const Bytes write = {3, 0, 0, 0, 0x12, 0x34};
  {
    PortOverScript link(1000, [](const Bytes&) { return Answer{{Reply0(6)}}; });
    Bytes data;
    EXPECT_FALSE(link.Run(command::kWrite, write, data));
    EXPECT_EQ(link.port->LastError(), 6);
    EXPECT_EQ(link.port->LastErrorOrigin(), ErrorOrigin::kReader);
  }
  {
    PortOverScript link(1000, [](const Bytes&) { return Answer{{Reply0(6)}, {Reply0(0), 5ms}}; });
    Bytes data;
    EXPECT_FALSE(link.Run(command::kWrite, write, data));
    // Not the reader's refusal (a reply that does not fit, or a checksum
    // failure if both frames came in one read).
    EXPECT_NE(link.port->LastError(), 6);
    EXPECT_EQ(link.port->LastErrorOrigin(), ErrorOrigin::kExchange);
  }
}

// Shortly after a fault even an acknowledgement of a write must stand alone:
// it may be the late reply of the command before.
TEST(ReplyMatching, AfterAFaultAcknowledgementsMustStandAlone) {
  int calls = 0;
  PortOverScript link(200, [&](const Bytes& request) {
    ++calls;
    if (request[2] == command::kSelectTag) return Answer{};  // a fault: no answer
    return Answer{{Reply0(0)}, {Reply0(0), 100ms}};
  });
  Bytes data;
  // Before any fault an acknowledgement is taken as it comes.
  EXPECT_TRUE(link.Run(command::kWrite, {3, 0, 0, 0, 1}, data));
  link.AwaitReceived(Reply0(0).size());
  EXPECT_FALSE(link.Run(command::kSelectTag, {1, 2}, data));
  EXPECT_FALSE(link.Run(command::kWrite, {3, 0, 0, 0, 1}, data));
  EXPECT_EQ(link.port->LastError(), RDR_ERR_REPLY_MISFIT);
  EXPECT_EQ(link.port->LastErrorOrigin(), ErrorOrigin::kExchange);
}

// A line that never falls quiet is given up before anything is sent.
TEST(ReplyMatching, EndlessChatterFailsWithoutSending) {
  int calls = 0;
  PortOverScript link(30, [&](const Bytes&) {
    ++calls;
    return Answer{{Bytes{0x55}, 0ms, true}};
  });
  Bytes data;
  EXPECT_FALSE(link.Run(command::kVersion, {}, data));
  EXPECT_FALSE(link.Run(command::kWrite, {3, 0, 0, 0, 1}, data));
  EXPECT_EQ(link.port->LastError(), RDR_ERR_TIMEOUT);
  EXPECT_EQ(link.port->LastErrorOrigin(), ErrorOrigin::kNotSent);
  EXPECT_EQ(link.reader->Requests().size(), 1u);
  EXPECT_EQ(link.port->UnansweredExchanges(), 2);
}

class SdkThreads : public SdkTest {};

// Two threads on one handle: each gets its own reply, never the other's, and
// each reads its own failure right after it.
TEST_F(SdkThreads, OneHandleTwoThreads) {
  serialReader = std::make_shared<ScriptedReader>(ReaderOfVariant(0, [](const Request& r) -> std::optional<Reply> {
    if (r.command == command::kVersion) return Reply{0, {'3', '1', '2', '5'}};
    if (r.command == command::kRead) return Reply{0, Bytes(r.payload.back(), 0x5A)};
    return std::nullopt;
  }));
  const int handle = RdrOpen("COM1", 9600, 0, 200);
  ASSERT_EQ(handle, 1);
  constexpr int kCalls = 3000;
  std::atomic<int> wrongVersions{0}, wrongReads{0}, wrongErrors{0};
  std::thread versions([&] {
    unsigned char data[16];
    char model[32];
    for (int i = 0; i < kCalls; ++i) {
      if (RdrGetVersion(handle, data, sizeof data, model, sizeof model) != 4 || std::memcmp(data, "3125", 4) != 0) {
        ++wrongVersions;
      }
      // Refused before sending, with a code of this thread's own.
      if (RdrSetMode(handle, 4) != -1 || RdrGetLastError(handle) != RDR_ERR_MODE) ++wrongErrors;
    }
  });
  std::thread reads([&] {
    unsigned char data[8];
    for (int i = 0; i < kCalls; ++i) {
      std::memset(data, 0, sizeof data);
      if (RdrReadData(handle, 3, 0, data, 8) != 8 || data[7] != 0x5A) ++wrongReads;
      if (RdrReadData(handle, 3, 70000, data, 8) != -1 || RdrGetLastError(handle) != RDR_ERR_ADDRESS) ++wrongErrors;
    }
  });
  versions.join();
  reads.join();
  EXPECT_EQ(wrongVersions.load(), 0);
  EXPECT_EQ(wrongReads.load(), 0);
  EXPECT_EQ(wrongErrors.load(), 0);
}

// The model name is copied only when a buffer is given: a caller passing
// none with its usual capacity still gets the version.
TEST_F(SdkThreads, VersionWithoutModelBuffer) {
  const int handle = RdrOpen("COM1", 9600, 0, 200);
  ASSERT_EQ(handle, 1);
  unsigned char data[8];
  EXPECT_EQ(RdrGetVersion(handle, data, sizeof data, nullptr, 32), 4);
  EXPECT_EQ(RdrGetLastErrorOrigin(handle), RDR_ORIGIN_NONE);
}

}  // namespace
}  // namespace qlmkv::test
