// The data functions of the C interface: the copy rule, inventory truncation,
// unknown handles and last-error persistence.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <random>
#include <thread>

#include "reader/rdr.h"
#include "tests/reader/sdk_fixture.h"

namespace qlmkv::test {
namespace {

class SdkData : public SdkTest {
 protected:
  // A reader whose replies the test sets per command.
  void OpenReader() {
    serialReader = std::make_shared<ScriptedReader>(ReaderOfVariant(0, [this](const Request& r) {
      const auto it = replies.find(r.command);
      return it == replies.end() ? std::nullopt : std::optional<Reply>(it->second);
    }));
    handle = RdrOpen("COM1", 9600, 0, 30);
    ASSERT_EQ(handle, 1);
  }
  std::map<std::uint8_t, Reply> replies{{0xF0, Reply{0, {'3', '1', '2', '5'}}}};
  int handle = -1;
};

Bytes Sequence(std::size_t n) {
  Bytes bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i);
  return bytes;
}

TEST_F(SdkData, CopyRuleAndInventoryTruncation) {
  // Several tags answered: the reader may list more than one EPC.
  Bytes inventory = Sequence(40);
  inventory[0] = 2;
  replies[0xC0] = Reply{0, inventory};
  replies[0xC3] = Reply{0, Sequence(6)};
  replies[0x09] = Reply{0, Sequence(3)};
  replies[0xF0] = Reply{0, Sequence(4)};
  OpenReader();
  unsigned char buffer[64];

  struct Case {
    const char* name;
    std::function<int()> call;
    int expectedResult;
    int expectedError;
  };
  const Case cases[] = {
      {"version fits", [&] { return RdrGetVersion(handle, buffer, 4, nullptr, 0); }, 4, 0},
      {"version too long", [&] { return RdrGetVersion(handle, buffer, 3, nullptr, 0); }, -1, RDR_ERR_CAPACITY},
      {"inventory whole", [&] { return RdrInventory(handle, 1, buffer, 64); }, 40, 0},
      {"inventory exact", [&] { return RdrInventory(handle, 1, buffer, 40); }, 40, 0},
      {"inventory truncated to 16s", [&] { return RdrInventory(handle, 1, buffer, 20); }, 16, 0},
      {"inventory below 16", [&] { return RdrInventory(handle, 1, buffer, 15); }, 0, 0},
      {"read fits", [&] { return RdrReadData(handle, 1, 2, buffer, 6); }, 6, 0},
      // More bytes than asked cannot be this read's reply.
      {"read longer than count", [&] { return RdrReadData(handle, 1, 2, buffer, 5); }, -1, RDR_ERR_REPLY_MISFIT},
      {"command fits", [&] { return RdrCommand(handle, 0x09, nullptr, 0, buffer, 3); }, 3, 0},
      {"command too long", [&] { return RdrCommand(handle, 0x09, nullptr, 0, buffer, 2); }, -1, RDR_ERR_CAPACITY},
      {"command negative capacity", [&] { return RdrCommand(handle, 0x09, nullptr, 0, buffer, -1); }, -1,
       RDR_ERR_CAPACITY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RdrCommand(handle, 0xF0, nullptr, 0, buffer, 64);  // a success does not clear the last error...
    std::memset(buffer, 0xEE, sizeof buffer);
    const int before = RdrGetLastError(handle);
    EXPECT_EQ(c.call(), c.expectedResult);
    EXPECT_EQ(RdrGetLastError(handle), c.expectedError != 0 ? c.expectedError : before);
    if (c.expectedResult > 0) {
      EXPECT_EQ(buffer[c.expectedResult - 1], c.expectedResult - 1);
    }
    if (c.expectedResult >= 0) {
      EXPECT_EQ(buffer[c.expectedResult], 0xEE);  // ...and nothing past the count
    }
  }
}

// Missing buffers, negative sizes and lengths the frame cannot carry are
// refused before a byte is copied or sent: the large lengths come with a
// small buffer, so reading them would run past it.
TEST_F(SdkData, BadArgumentsAreRefusedBeforeAnythingIsSent) {
  replies[0xC0] = Reply{0, Sequence(32)};
  OpenReader();
  unsigned char small[64] = {};
  char name[32];
  const unsigned char password[4] = {};
  constexpr int kHuge = 0x7FFFFFFF;
  struct Case {
    const char* name;
    std::function<int()> call;
  };
  const Case cases[] = {
      {"version without data buffer", [&] { return RdrGetVersion(handle, nullptr, 64, nullptr, 32); }},
      {"version negative capacity", [&] { return RdrGetVersion(handle, small, -1, name, 32); }},
      {"version negative name capacity", [&] { return RdrGetVersion(handle, small, 64, name, -3); }},
      {"inventory without buffer", [&] { return RdrInventory(handle, 0, nullptr, 100); }},
      {"inventory negative capacity", [&] { return RdrInventory(handle, 0, small, -5); }},
      {"select huge", [&] { return RdrSelectTag(handle, small, kHuge); }},
      {"select 256", [&] { return RdrSelectTag(handle, small, 256); }},
      {"select without EPC", [&] { return RdrSelectTag(handle, nullptr, 12); }},
      {"select negative", [&] { return RdrSelectTag(handle, small, -1); }},
      {"read without buffer", [&] { return RdrReadData(handle, 1, 0, nullptr, 8); }},
      {"read negative", [&] { return RdrReadData(handle, 1, 0, small, -8); }},
      {"write huge", [&] { return RdrWriteData(handle, 3, 0, small, kHuge); }},
      {"write one past the frame", [&] { return RdrWriteData(handle, 3, 0, small, 252); }},
      {"write zeros huge", [&] { return RdrWriteData(handle, 3, 0, nullptr, kHuge); }},
      {"write negative", [&] { return RdrWriteData(handle, 3, 0, small, -2); }},
      {"write with password huge", [&] { return RdrWriteDataPw(handle, 3, 0, password, small, kHuge); }},
      {"write with password one past", [&] { return RdrWriteDataPw(handle, 3, 0, password, small, 248); }},
      {"command huge payload", [&] { return RdrCommand(handle, 0x09, small, kHuge, small, 64); }},
      {"command 256 payload", [&] { return RdrCommand(handle, 0x09, small, 256, small, 64); }},
      {"command without payload", [&] { return RdrCommand(handle, 0x09, nullptr, 3, small, 64); }},
      {"command negative payload", [&] { return RdrCommand(handle, 0x09, small, -1, small, 64); }},
      {"command without buffer", [&] { return RdrCommand(handle, 0x09, nullptr, 0, nullptr, 64); }},
  };
  const std::size_t sentBefore = serialReader->Requests().size();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RdrGetVersion(handle, small, 64, nullptr, 0);  // last error back to 4 ...
    RdrSetMode(handle, 1);
    ASSERT_EQ(RdrGetLastError(handle), RDR_ERR_TIMEOUT);
    const std::size_t sent = serialReader->Requests().size();
    EXPECT_EQ(c.call(), -1);
    EXPECT_EQ(RdrGetLastError(handle), RDR_ERR_CAPACITY);  // ... so 5 is this call's
    EXPECT_EQ(serialReader->Requests().size(), sent);
  }
  EXPECT_GT(serialReader->Requests().size(), sentBefore);
  // The limits themselves still go out.
  replies[0xC4] = Reply{};
  replies[0xC5] = Reply{};
  replies[0xC2] = Reply{};
  unsigned char full[256] = {};
  EXPECT_EQ(RdrWriteData(handle, 3, 0, full, 251), 0);
  EXPECT_EQ(RdrWriteDataPw(handle, 3, 0, password, full, 247), 0);
  EXPECT_EQ(RdrSelectTag(handle, full, 255), 0);
  EXPECT_EQ(RdrSelectTag(handle, nullptr, 0), 0);
}

// RdrClose from another thread ends an exchange that waits for a silent
// reader at once, not after its time-out of ten minutes.
TEST_F(SdkData, CloseFromAnotherThreadEndsAWaitingExchange) {
  serialReader = std::make_shared<ScriptedReader>(ReaderOfVariant(0, [](const Request& r) -> std::optional<Reply> {
    if (r.command == 0xF0) return Reply{0, {'3', '1', '2', '5'}};
    return std::nullopt;
  }));
  handle = RdrOpen("COM1", 9600, 0, 600000);
  ASSERT_EQ(handle, 1);
  auto exchange = std::async(std::launch::async, [this] {
    unsigned char buffer[8];
    return RdrCommand(handle, 0x55, nullptr, 0, buffer, 8);
  });
  // The exchange waits once its request has reached the reader.
  while (serialReader->Requests().size() < 2 &&
         exchange.wait_for(std::chrono::milliseconds(1)) == std::future_status::timeout) {
  }
  EXPECT_EQ(RdrClose(handle), 0);
  ASSERT_EQ(exchange.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(exchange.get(), -1);
  EXPECT_EQ(RdrGetLastError(handle), RDR_ERR_NOT_OPEN);
}

// RdrClose races RdrCommand at every point of the exchange: the call ends
// with -1 or a result, never with a crash, a hang or (under the sanitizers)
// a data race or a leak.
TEST_F(SdkData, CloseRacesAnExchange) {
  serialReader = std::make_shared<ScriptedReader>(ReaderOfVariant(0, [](const Request& r) -> std::optional<Reply> {
    if (r.command == 0xF0) return Reply{0, {'3', '1', '2', '5'}};
    return std::nullopt;
  }));
  std::mt19937 random(11);
  std::uniform_int_distribution<int> delayUs(0, 200);
  for (int round = 0; round < 1000; ++round) {
    const int h = RdrOpen("COM1", 9600, 0, 600000);
    ASSERT_EQ(h, 1);
    std::atomic<bool> go{false};
    std::thread exchange([&] {
      while (!go.load()) {
      }
      unsigned char buffer[8];
      EXPECT_EQ(RdrCommand(h, 0x55, nullptr, 0, buffer, 8), -1);
    });
    go = true;
    std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
    EXPECT_EQ(RdrClose(h), 0);
    exchange.join();
  }
}

TEST_F(SdkData, ModelNameOnlyWhenItFits) {
  OpenReader();
  unsigned char data[4];
  struct Case {
    int capacity;
    std::string expected;
  };
  for (const Case& c : {Case{9, "QL-MKV39"}, Case{8, "unset"}, Case{0, "unset"}}) {
    char name[16] = "unset";
    EXPECT_EQ(RdrGetVersion(handle, data, 4, name, c.capacity), 4);
    EXPECT_EQ(std::string(name), c.expected);
  }
}

TEST_F(SdkData, ReplyValuesAndPayloadsThroughTheInterface) {
  replies[0x07] = Reply{0, {0x0E, 0x01}};
  replies[0xC3] = Reply{0, {}};
  replies[0xC4] = Reply{};
  OpenReader();
  int power = 0;
  EXPECT_EQ(RdrGetTxPower(handle, &power), 0);
  EXPECT_EQ(power, 270);
  unsigned char buffer[4] = {0xEE};
  EXPECT_EQ(RdrReadData(handle, 3, 0, buffer, 4), 0);
  EXPECT_EQ(buffer[0], 0xEE);
  EXPECT_EQ(RdrWriteData(handle, 3, 4, nullptr, 3), 0);  // no data: zeros are written
  const auto sent = DecodeRequest(0, serialReader->Requests().back());
  ASSERT_TRUE(sent.has_value());
  EXPECT_EQ(sent->payload, (Bytes{0x03, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(RdrSetNoWindowLock(handle, 1), 1);
}

TEST_F(SdkData, LastErrorOutlivesLaterSuccess) {
  OpenReader();
  replies.erase(0xF4);  // the reader stays silent on mode selection
  EXPECT_EQ(RdrSetMode(handle, 1), -1);
  EXPECT_EQ(RdrGetLastError(handle), RDR_ERR_TIMEOUT);
  unsigned char data[4];
  EXPECT_EQ(RdrGetVersion(handle, data, 4, nullptr, 0), 4);
  EXPECT_EQ(RdrGetLastError(handle), RDR_ERR_TIMEOUT);
  EXPECT_EQ(RdrSetMode(handle, 4), -1);
  EXPECT_EQ(RdrGetLastError(handle), RDR_ERR_MODE);
}

TEST_F(SdkData, UnknownHandlesFailEveryFunction) {
  unsigned char buffer[8] = {};
  int power = 0;
  const unsigned char password[4] = {};
  for (const int h : {0, -1, -11, 2, 10001, 20001}) {
    SCOPED_TRACE(h);
    EXPECT_EQ(RdrGetLastError(h), RDR_ERR_NOT_OPEN);
    EXPECT_EQ(RdrClose(h), -1);
    EXPECT_EQ(RdrSetNoWindowLock(h, 1), -1);
    EXPECT_EQ(RdrIsUsb(h), -1);
    EXPECT_EQ(RdrGetVersion(h, buffer, 8, nullptr, 0), -1);
    EXPECT_EQ(RdrSetMode(h, 0), -1);
    EXPECT_EQ(RdrInventory(h, 1, buffer, 8), -1);
    EXPECT_EQ(RdrSelectTag(h, buffer, 2), -1);
    EXPECT_EQ(RdrReadData(h, 1, 0, buffer, 2), -1);
    EXPECT_EQ(RdrWriteData(h, 1, 0, buffer, 2), -1);
    EXPECT_EQ(RdrWriteDataPw(h, 1, 0, password, buffer, 2), -1);
    EXPECT_EQ(RdrLock(h, 1, 2, password), -1);
    EXPECT_EQ(RdrGetTxPower(h, &power), -1);
    EXPECT_EQ(RdrSetTxPower(h, 200, 1), -1);
    EXPECT_EQ(RdrSwitchUsbMode(h, 1), -1);
    EXPECT_EQ(RdrCommand(h, 0x09, nullptr, 0, buffer, 8), -1);
    EXPECT_EQ(RdrLanConfigRead(h, 0, buffer, 8), -1);
    EXPECT_EQ(RdrLanConfigClose(h, 0), -1);
  }
}

}  // namespace
}  // namespace qlmkv::test
