// The request/reply exchange of one connection over the in-memory link:
// the three waiting phases, validation and unpacking, and the wait hooks.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include "reader/qlmkv_port.h"
#include "reader/rdr.h"
#include "tests/fakes/event_loop.h"
#include "tests/reader/scripted_reader.h"
#include "tests/reader/virtual_clock.h"

namespace qlmkv::test {
namespace {

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes Slice(const Bytes& bytes, std::size_t begin, std::size_t end) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(begin), bytes.begin() + static_cast<std::ptrdiff_t>(end));
}

struct ExchangeCase {
  const char* name;
  int variant;
  Answer answer;  // what the reader sends for the request
  int timeoutMs;
  int expectedError;  // 0: success
  Bytes expectedData;
};

const Bytes kVersion0 = frame::Build(0, 1, 0, Bytes{'3', '1', '2', '5'});
const Bytes kVersion1 = frame::Build(1, 1, 0, Bytes{'3', '1', '2', '5'});
const Bytes kBlocks0 = frame::BuildBlockList(0, 1, 0, {Bytes{0xAA, 0xBB}, Bytes{0xCC}});
const Bytes kBlocks1 = frame::BuildBlockList(1, 1, 0, {Bytes{0xAA, 0xBB}, Bytes{0xCC}});
const Bytes kBlockData = {0x02, 0xAA, 0xBB, 0x01, 0xCC};
const Bytes kVersionData = {'3', '1', '2', '5'};

Bytes Corrupted(Bytes frame) {
  frame[frame.size() - 1] ^= 0x5A;
  return frame;
}

class Exchange : public ::testing::TestWithParam<ExchangeCase> {};

TEST_P(Exchange, EndsWithTheExpectedResult) {
  const ExchangeCase& c = GetParam();
  ScriptedReader reader([&](const Bytes&) { return c.answer; });
  CQL_MKV_Port port(1, c.timeoutMs);
  port.SetVariant(c.variant);
  port.AttachTransport(reader.Connect(port));

  Bytes data{0xEE};
  const bool ok = port.Transceive(0xF0, {}, data);
  port.CloseTransport();

  EXPECT_EQ(ok, c.expectedError == 0);
  EXPECT_EQ(port.LastError(), c.expectedError);
  if (ok) {
    EXPECT_EQ(data, c.expectedData);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, Exchange,
    ::testing::Values(
        ExchangeCase{"WholeReplyVariant0", 0, {{kVersion0}}, 1000, 0, kVersionData},
        ExchangeCase{"WholeReplyVariant1", 1, {{kVersion1}}, 1000, 0, kVersionData},
        ExchangeCase{"SplitReply",
                     0,
                     {{Slice(kVersion0, 0, 2)}, {Slice(kVersion0, 2, 5), 5ms}, {Slice(kVersion0, 5, 9), 5ms}},
                     1000,
                     0,
                     kVersionData},
        ExchangeCase{
            "StrayBytesDroppedInVariant0", 0, {{Concat({{0x55, 0xAA, 0x13}, kVersion0})}}, 1000, 0, kVersionData},
        // Strays drop the buffer below the length byte; the rest comes later.
        ExchangeCase{"StraysThenLateReply",
                     0,
                     {{Bytes{0x55, 0x66, 0x77, 0x88}}, {Slice(kVersion0, 0, 2), 5ms}, {Slice(kVersion0, 2, 9), 5ms}},
                     1000,
                     0,
                     kVersionData},
        ExchangeCase{"StrayBytesFailChecksumInVariant1", 1, {{Concat({{0x55}, kVersion1})}}, 1000, 10, {}},
        ExchangeCase{"StatusOnlyReply", 0, {{frame::Build(0, 1, 0, Bytes{})}}, 1000, 0, {}},
        ExchangeCase{"BlockListVariant0", 0, {{kBlocks0}}, 1000, 0, kBlockData},
        ExchangeCase{"BlockListVariant1", 1, {{kBlocks1}}, 1000, 0, kBlockData},
        ExchangeCase{"BlockListWithoutChecksumTimesOut", 0, {{Slice(kBlocks0, 0, kBlocks0.size() - 1)}}, 30, 4, {}},
        ExchangeCase{
            "BlockListChecksumArrivesLate",
            0,
            {{Slice(kBlocks0, 0, kBlocks0.size() - 1)}, {Slice(kBlocks0, kBlocks0.size() - 1, kBlocks0.size()), 10ms}},
            1000,
            0,
            kBlockData},
        ExchangeCase{"ReaderStatus", 0, {{frame::Build(0, 1, 21, Bytes{})}}, 1000, 21, {}},
        ExchangeCase{"ReaderStatusVariant1", 1, {{frame::Build(1, 1, 24, Bytes{})}}, 1000, 24, {}},
        ExchangeCase{"WrongChecksum", 0, {{Corrupted(kVersion0)}}, 1000, 10, {}},
        ExchangeCase{"WrongCrc", 1, {{Corrupted(kVersion1)}}, 1000, 10, {}},
        ExchangeCase{"TrailingByteFailsChecksum", 0, {{Concat({kVersion0, {0x55}})}}, 1000, 10, {}},
        ExchangeCase{"TrailingZeroFailsVariant0", 0, {{Concat({kVersion0, {0x00}})}}, 1000, 10, {}},
        ExchangeCase{"TrailingPairFailsVariant0", 0, {{Concat({kVersion0, {0x42, 0x42}})}}, 1000, 10, {}},
        ExchangeCase{"TrailingZerosFailVariant1", 1, {{Concat({kVersion1, {0x00, 0x00}})}}, 1000, 10, {}},
        ExchangeCase{"NoAnswer", 0, {}, 30, 4, {}},
        ExchangeCase{"TooShortForPhase1", 1, {{Bytes{0x01, 0x00, 0x00}}}, 30, 4, {}},
        ExchangeCase{"EndlessStrays", 0, {{Bytes{0x55, 0x66}, 0ms, true}}, 30, 4, {}},
        ExchangeCase{"EndlessBlockList", 0, {{Bytes{0x02, 0x01, 0x00, 0xFF}}, {Bytes{0x00}, 0ms, true}}, 30, 4, {}},
        ExchangeCase{"MissingDataBytes", 1, {{Slice(kVersion1, 0, kVersion1.size() - 1)}}, 30, 4, {}}),
    [](const ::testing::TestParamInfo<ExchangeCase>& param) { return std::string(param.param.name); });

// Each phase has its own full time-out: a reply whose pieces each come within
// the time-out, but that takes longer in all, is still taken.
TEST(ExchangePhases, EachPhaseGetsItsOwnTimeout) {
  ScriptedReader reader([](const Bytes&) {
    return Answer{
        {Bytes{0x55, 0x66, 0x77, 0x88}, 300ms}, {Slice(kVersion0, 0, 3), 300ms}, {Slice(kVersion0, 3, 9), 300ms}};
  });
  CQL_MKV_Port port(1, 500);
  port.AttachTransport(reader.Connect(port));
  Bytes data;
  EXPECT_TRUE(port.Transceive(0xF0, {}, data)) << port.LastError();
  EXPECT_EQ(data, kVersionData);
}

TEST(ExchangeRequests, FramesCarryAddressAndVariant) {
  struct Case {
    int variant;
    int address;
    Bytes payload;
    Bytes expected;
  };
  const Case cases[] = {
      {0, 1, {}, {0x02, 0x01, 0xF0, 0x00, 0xF1}},
      {1, 1, {}, {0x01, 0xF0, 0x00, 0x64, 0x00}},
      {0, 0x105, {0x01}, frame::Build(0, 0x05, 0xF0, Bytes{0x01})},  // only the low byte of the address
  };
  for (const Case& c : cases) {
    ScriptedReader reader(nullptr);
    CQL_MKV_Port port(c.address, 10);
    port.SetVariant(c.variant);
    port.AttachTransport(reader.Connect(port));
    Bytes data;
    port.Transceive(0xF0, c.payload, data);
    port.CloseTransport();
    ASSERT_EQ(reader.Requests().size(), 1u);
    EXPECT_EQ(reader.Requests()[0], c.expected);
  }
}

TEST(ExchangeRequests, RefusesWhatCannotBeFramed) {
  ScriptedReader reader(nullptr);
  CQL_MKV_Port port(1, 10);
  port.AttachTransport(reader.Connect(port));
  EXPECT_FALSE(port.SendCommand());  // empty send buffer
  EXPECT_EQ(port.LastError(), RDR_ERR_NOTHING_TO_SEND);
  Bytes data;
  EXPECT_FALSE(port.Transceive(0x09, Bytes(256, 0x11), data));
  EXPECT_EQ(port.LastError(), RDR_ERR_CAPACITY);
  port.CloseTransport();
  EXPECT_TRUE(reader.Requests().empty());
}

TEST(ReceiveBuffer, AccessOutsideTheBufferIsRefused) {
  CQL_MKV_Port port(1, 10);
  for (std::uint8_t b : {0x10, 0x20, 0x30}) port.OnReceiveChar(b);
  EXPECT_EQ(port.ReceivedCount(), 3u);
  EXPECT_EQ(port.ReceivedAt(2), 0x30);
  EXPECT_THROW(port.ReceivedAt(3), std::invalid_argument);
  port.DropReceived(2);
  EXPECT_EQ(port.ReceivedAt(0), 0x30);
  port.DropReceived(5);
  EXPECT_EQ(port.ReceivedCount(), 0u);
}

class WaitHooks : public ::testing::Test {
 protected:
  void SetUp() override {
    RdrSetDispatchHooks(&FakeEventLoop::Dispatch, &FakeEventLoop::Wake, &loop_);
    RdrSetWindowLockHooks(&FakeEventLoop::Lock, &FakeEventLoop::Unlock, &loop_);
  }
  void TearDown() override {
    RdrSetDispatchHooks(nullptr, nullptr, nullptr);
    RdrSetWindowLockHooks(nullptr, nullptr, nullptr);
  }
  FakeEventLoop loop_;
};

TEST_F(WaitHooks, DispatchRunsAndArrivingBytesWakeIt) {
  // A long time-out: the reply can only be taken early if wake ends the dispatch.
  ScriptedReader reader([](const Bytes&) { return Answer{{kVersion0, 20ms}}; });
  CQL_MKV_Port port(1, 60000);
  port.AttachTransport(reader.Connect(port));
  Bytes data;
  EXPECT_TRUE(port.Transceive(0xF0, {}, data));
  port.CloseTransport();
  EXPECT_EQ(data, kVersionData);
  EXPECT_GE(loop_.dispatches, 1);
  EXPECT_GE(loop_.wokenReturns, 1);
}

TEST_F(WaitHooks, WindowLockIsReleasedOnEveryPath) {
  struct Case {
    const char* name;
    bool noWindowLock;
    Answer answer;
    int expectedLocks;
  };
  const Case cases[] = {
      {"success", false, {{kVersion0}}, 1},
      {"timeout", false, {}, 1},
      {"checksum", false, {{Corrupted(kVersion0)}}, 1},
      {"no window lock", true, {{kVersion0}}, 0},
      {"no window lock, timeout", true, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    loop_.locks = loop_.unlocks = 0;
    loop_.savedSeen = nullptr;
    ScriptedReader reader([&](const Bytes&) { return c.answer; });
    CQL_MKV_Port port(1, 20);
    port.SetNoWindowLock(c.noWindowLock);
    port.AttachTransport(reader.Connect(port));
    Bytes data;
    port.Transceive(0xF0, {}, data);
    port.CloseTransport();
    EXPECT_EQ(loop_.locks, c.expectedLocks);
    EXPECT_EQ(loop_.unlocks, c.expectedLocks);
    EXPECT_EQ(loop_.savedSeen, c.expectedLocks ? &loop_ : nullptr);
  }
}

// Hands its reply over within the send, on the sending thread.
class ImmediateLink final : public Transport {
 public:
  ImmediateLink(Bytes reply, ByteSink& sink) : reply_(std::move(reply)), sink_(sink) {}
  void Send(const std::uint8_t*, std::size_t, std::chrono::milliseconds) override {
    if (!reply_.empty()) sink_.OnReceiveBytes(reply_.data(), reply_.size());
  }
  bool IsUsb() const override { return false; }
  void Close() override {}

 private:
  Bytes reply_;
  ByteSink& sink_;
};

// The wait takes its time from the connection's clock: on a virtual one a
// time-out passes at once, phase by phase, with the same results.
TEST(ExchangeClock, TimeOutsRunOnTheConnectionsClock) {
  struct Case {
    const char* name;
    int variant;
    Bytes reply;
    int expectedError;
    int phasesTimedOut;  // 0: no time-out
  };
  const Case cases[] = {
      {"silent", 0, {}, RDR_ERR_TIMEOUT, 1},
      {"strays only", 0, {0x55, 0x66, 0x77, 0x88, 0x99}, RDR_ERR_TIMEOUT, 1},
      {"header without the rest", 1, Slice(kVersion1, 0, 5), RDR_ERR_TIMEOUT, 1},
      {"whole reply", 0, kVersion0, 0, 0},
      {"trailing zero", 0, Concat({kVersion0, {0x00}}), RDR_ERR_CHECKSUM, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualWaitClock clock;
    CQL_MKV_Port port(1, 500, clock);
    port.SetVariant(c.variant);
    port.AttachTransport(std::make_unique<ImmediateLink>(c.reply, port));
    Bytes data;
    EXPECT_EQ(port.Transceive(0xF0, {}, data), c.expectedError == 0);
    EXPECT_EQ(port.LastError(), c.expectedError);
    EXPECT_GE(clock.Elapsed(), std::chrono::milliseconds(500) * c.phasesTimedOut);
    EXPECT_LT(clock.Elapsed(), std::chrono::milliseconds(500) * (c.phasesTimedOut + 1));
  }
}

}  // namespace
}  // namespace qlmkv::test
