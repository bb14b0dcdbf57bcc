// Opening and closing connections through the C interface: link choice,
// line settings, device address, handle numbers and the open failures.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "reader/rdr.h"
#include "tests/reader/sdk_fixture.h"

namespace qlmkv::test {
namespace {

struct OpenCase {
  const char* connection;
  int baudRate;
  int lineFormat;
  const char* expectedLink;  // "serial", "hid" or "lan"
  std::string expectedName;
  int expectedBaud;
  char expectedParity;
  int expectedStopBits;
  std::uint8_t expectedAddress;
  int expectedHandle;
};

using SdkOpen = SdkTest;

TEST_F(SdkOpen, ConnectionStringChoosesLinkSettingsAndAddress) {
  const OpenCase cases[] = {
      {"COM3", 115200, 0, "serial", "COM3", 115200, 'N', 1, 1, 1},
      {"COM3:5", 9600, 1, "serial", "COM3", 9600, 'E', 1, 5, 1},
      {"com4", 57600, 2, "serial", "com4", 57600, 'O', 1, 1, 1},
      {"/dev/ttyACM0 [Vex Virtual COM]:2", 57600, 3, "serial", "/dev/ttyACM0", 57600, 'N', 2, 2, 1},
      {"FT5X8QZB", 57600, 7, "serial", "FT5X8QZB", 19200, 'N', 1, 1, 1},
      {"FT5X8QZB:x", 57600, 0, "serial", "FT5X8QZB", 19200, 'N', 1, 0, 1},
      {"COM9:", 4800, 0, "serial", "COM9:", 4800, 'N', 1, 1, 1},
      {".1.2.3", 4800, 0, "serial", ".1.2.3", 19200, 'N', 1, 1, 1},
      {"0012AB HID", 57600, 0, "hid", "0012AB HID", 0, 0, 0, 1, 10001},
      {"192.168.0.10-10001:3", 57600, 0, "lan", "192.168.0.10-10001", 0, 0, 0, 3, 20001},
      {"[Module7]", 57600, 0, "lan", "[Module7]", 0, 0, 0, 1, 20001},
  };
  for (const OpenCase& c : cases) {
    SCOPED_TRACE(c.connection);
    serialOpens.clear();
    hidOpens.clear();
    lanOpens.clear();
    const int handle = RdrOpen(c.connection, c.baudRate, c.lineFormat, 100);
    EXPECT_EQ(handle, c.expectedHandle);
    const std::string link = c.expectedLink;
    std::shared_ptr<ScriptedReader> reader;
    if (link == "serial") {
      ASSERT_EQ(serialOpens.size(), 1u);
      EXPECT_EQ(serialOpens[0].name, c.expectedName);
      EXPECT_EQ(serialOpens[0].settings.baudRate, c.expectedBaud);
      EXPECT_EQ(serialOpens[0].settings.parity, c.expectedParity);
      EXPECT_EQ(serialOpens[0].settings.stopBits, c.expectedStopBits);
      EXPECT_EQ(serialOpens[0].settings.dataBits, 8);
      EXPECT_EQ(serialOpens[0].settings.handshake, 0);
      EXPECT_EQ(serialOpens[0].settings.writeBufferSize, 512u);
      reader = serialReader;
    } else if (link == "hid") {
      ASSERT_EQ(hidOpens.size(), 1u);
      EXPECT_EQ(hidOpens[0], c.expectedName);
      reader = hidReader;
    } else {
      ASSERT_EQ(lanOpens.size(), 1u);
      EXPECT_EQ(lanOpens[0], c.expectedName);
      reader = lanReader;
    }
    const auto requests = reader->Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back()[1], c.expectedAddress);
    EXPECT_EQ(RdrIsUsb(handle), link == "hid" ? 1 : 0);
    EXPECT_EQ(RdrClose(handle), 0);
  }
}

TEST_F(SdkOpen, HandlesTakeTheLowestFreeNumberOfTheirKind) {
  EXPECT_EQ(RdrOpen("COM1", 9600, 0, 100), 1);
  EXPECT_EQ(RdrOpen("COM2", 9600, 0, 100), 2);
  EXPECT_EQ(RdrOpen("COM3", 9600, 0, 100), 3);
  EXPECT_EQ(RdrOpen("00AA HID", 9600, 0, 100), 10001);
  EXPECT_EQ(RdrOpen("10.0.0.1", 9600, 0, 100), 20001);
  EXPECT_EQ(RdrOpen("10.0.0.2", 9600, 0, 100), 20002);
  EXPECT_EQ(RdrClose(1), 0);
  EXPECT_EQ(RdrClose(20001), 0);
  EXPECT_EQ(RdrClose(1), -1);
  EXPECT_EQ(RdrGetLastError(1), RDR_ERR_NOT_OPEN);
  EXPECT_EQ(RdrOpen("COM4", 9600, 0, 100), 1);
  EXPECT_EQ(RdrOpen("COM5", 9600, 0, 100), 4);
  EXPECT_EQ(RdrOpen("10.0.0.3", 9600, 0, 100), 20001);
  EXPECT_EQ(RdrGetLastError(10001), 0);
}

TEST_F(SdkOpen, FailuresLeaveNothingBehind) {
  struct Case {
    const char* name;
    std::shared_ptr<ScriptedReader> reader;  // null: the line cannot be opened
    int timeoutMs;
    int expectedResult;
    std::size_t expectedOpens;
    std::size_t expectedQueries;
  };
  const auto silent = std::make_shared<ScriptedReader>(nullptr);
  const auto shortVersion = std::make_shared<ScriptedReader>(ReaderOfVariant(0, [](const Request&) {
    return std::optional<Reply>(Reply{0, {'3', '1', '2'}});
  }));
  const auto refusing = std::make_shared<ScriptedReader>(ReaderOfVariant(1, [](const Request&) {
    return std::optional<Reply>(Reply{24, {}});
  }));
  const Case cases[] = {
      {"negative time-out", serialReader, -1, RDR_OPEN_BAD_TIMEOUT, 0, 0},
      {"line cannot be opened", nullptr, 20, RDR_OPEN_FAILED, 6, 0},
      {"no reader on the line", silent, 20, RDR_OPEN_NO_READER, 1, 2},
      {"version reply not 4 bytes", shortVersion, 20, RDR_OPEN_NO_READER, 1, 1},
      {"reader refuses the query", refusing, 20, RDR_OPEN_NO_READER, 1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    serialOpens.clear();
    serialReader = c.reader;
    const std::size_t queriesBefore = c.reader ? c.reader->Requests().size() : 0;
    EXPECT_EQ(RdrOpen("COM1", 9600, 0, c.timeoutMs), c.expectedResult);
    EXPECT_EQ(serialOpens.size(), c.expectedOpens);
    if (c.reader) {
      EXPECT_EQ(c.reader->Requests().size() - queriesBefore, c.expectedQueries);
    }
    EXPECT_EQ(RdrGetLastError(c.expectedResult), RDR_ERR_NOT_OPEN);
  }
  // Every failed open gave its number back.
  serialReader = std::make_shared<ScriptedReader>(SimpleReader(0));
  EXPECT_EQ(RdrOpen("COM1", 9600, 0, 100), 1);
}

TEST_F(SdkOpen, VariantOneReaderIsFoundAndKeepsItsVariant) {
  serialReader = std::make_shared<ScriptedReader>(SimpleReader(1));
  const int handle = RdrOpen("COM1", 9600, 0, 30);
  ASSERT_EQ(handle, 1);
  EXPECT_EQ(RdrSetMode(handle, 0), 0);
  const auto requests = serialReader->Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0], (Bytes{0x02, 0x01, 0xF0, 0x00, 0xF1}));
  EXPECT_EQ(requests[1], (Bytes{0x01, 0xF0, 0x00, 0x64, 0x00}));
  EXPECT_TRUE(DecodeRequest(1, requests[2]).has_value());
}

// A LAN module that passes no reader traffic is switched once through its
// setup record, then the open is tried again.
TEST_F(SdkOpen, LanRecoveryFlipsTheModeByteOnce) {
  struct Case {
    std::uint8_t before;
    std::uint8_t after;
  };
  for (const Case c : {Case{1, 8}, Case{8, 1}, Case{0, 1}}) {
    lanOpens.clear();
    module = std::make_shared<ModuleState>();
    module->record[17] = c.before;
    lanReader = std::make_shared<ScriptedReader>(nullptr);
    EXPECT_EQ(RdrOpen("192.168.5.9-10001:1", 9600, 0, 10), RDR_OPEN_NO_READER);
    EXPECT_EQ(lanOpens.size(), 2u);
    ASSERT_EQ(module->opens, std::vector<std::string>{"192.168.5.9-10001"});
    ASSERT_EQ(module->writes.size(), 1u);
    EXPECT_EQ(module->writes[0][17], c.after);
    EXPECT_EQ(module->restarts, 0);
  }
}

TEST_F(SdkOpen, NoLanRecoveryForSerialLinks) {
  serialReader = std::make_shared<ScriptedReader>(nullptr);
  EXPECT_EQ(RdrOpen("COM1", 9600, 0, 10), RDR_OPEN_NO_READER);
  EXPECT_TRUE(module->opens.empty());
}

// What an open would reach, told without opening: the same rules as the open.
TEST(SdkDescribe, ConnectionStringsNameTheirLinkAsTheOpenReadsThem) {
  const struct {
    const char* connection;
    int kind;
    std::string name;
  } cases[] = {
      {"/dev/ttyACM0 [Vex Virtual COM]:2", RDR_LINK_DEVICE_FILE, "/dev/ttyACM0"},
      {"COM3:5", RDR_LINK_DEVICE_FILE, "/dev/ttyS2"},
      {"\\\\.\\com4", RDR_LINK_DEVICE_FILE, "/dev/ttyS3"},
      {"COM99999999999", RDR_LINK_DEVICE_FILE, ""},
      {"FT5X8QZB:x", RDR_LINK_D2XX, "FT5X8QZB"},
      {"0012AB HID:1", RDR_LINK_HID, "0012AB HID"},
      {"192.168.0.10-10001:3", RDR_LINK_LAN, "192.168.0.10-10001"},
      {"[Module7]", RDR_LINK_LAN, "[Module7]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.connection);
    char name[64] = {};
    EXPECT_EQ(RdrDescribeConnection(c.connection, name, sizeof name), c.kind);
    EXPECT_EQ(std::string(name), c.name);
  }
  EXPECT_EQ(RdrDescribeConnection(nullptr, nullptr, 0), -1);
}

// The system's reason of a line that did not open reaches the caller, cut to
// its buffers; a later open that fails elsewhere (or succeeds) replaces it.
TEST(SdkOpenFailure, TheLinesOwnReasonComesUpCutToTheCallersBuffers) {
  const std::string missing = "/dev/stampwise-no-such-port";
  ASSERT_EQ(RdrOpen(missing.c_str(), 19200, 0, 100), RDR_OPEN_FAILED);
  char device[64] = {};
  char reason[64] = {};
  ASSERT_EQ(RdrGetOpenFailure(device, sizeof device, reason, sizeof reason), 1);
  EXPECT_EQ(std::string(device), missing);
  EXPECT_EQ(std::string(reason), "No such file or directory");

  char shortDevice[5] = {'x', 'x', 'x', 'x', 'x'};
  EXPECT_EQ(RdrGetOpenFailure(shortDevice, sizeof shortDevice, nullptr, 0), 1);
  EXPECT_EQ(std::string(shortDevice), "/dev");

  ASSERT_EQ(RdrOpen("/dev/null", 19200, 0, 100), RDR_OPEN_FAILED);
  ASSERT_EQ(RdrGetOpenFailure(device, sizeof device, reason, sizeof reason), 1);
  EXPECT_EQ(std::string(reason), "not a terminal");

  // Another thread's failure is its own.
  int other = -1;
  std::thread([&] { other = RdrGetOpenFailure(device, sizeof device, reason, sizeof reason); }).join();
  EXPECT_EQ(other, 0);

  // A HID reader that does not open says so with its own name.
  EXPECT_EQ(RdrOpen("0012AB HID", 19200, 0, 100), RDR_OPEN_FAILED);
  ASSERT_EQ(RdrGetOpenFailure(device, sizeof device, reason, sizeof reason), 1);
  EXPECT_EQ(std::string(device), "0012AB HID");
  EXPECT_NE(std::string(reason), "not a terminal");
}

}  // namespace
}  // namespace qlmkv::test
