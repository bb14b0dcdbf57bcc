// The reader SDK as a program uses it: the shared library's C interface over
// real links, a pseudo-terminal to mkv-sim and a D2XX device of the fake
// driver library, with the simulator's faults.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "reader/rdr.h"
#include "sim/sim_process.h"

namespace {

std::vector<std::string> Unpack(const std::vector<char>& buffer, int used) {
  std::vector<std::string> names;
  for (std::size_t at = 0; at < static_cast<std::size_t>(used) && buffer[at] != '\0';) {
    names.emplace_back(&buffer[at]);
    at += names.back().size() + 1;
  }
  return names;
}

class SdkOverPty : public ::testing::Test {
 protected:
  void Open(const std::vector<std::string>& simArgs = {}, int timeoutMs = 300) {
    sim_ = std::make_unique<mkvsim::SimProcess>(simArgs);
    handle_ = RdrOpen(sim_->PtyPath().c_str(), 19200, 0, timeoutMs);
    ASSERT_GT(handle_, 0);
  }
  void TearDown() override {
    if (handle_ > 0) RdrClose(handle_);
  }
  std::unique_ptr<mkvsim::SimProcess> sim_;
  int handle_ = 0;
};

TEST_F(SdkOverPty, IdentifiesTheReaderAndWritesAndReadsATag) {
  Open({"--tags", "1"});
  unsigned char version[8] = {};
  char model[32] = {};
  ASSERT_EQ(RdrGetVersion(handle_, version, sizeof version, model, sizeof model), 4);
  EXPECT_STREQ(model, "QL-MKV39");
  EXPECT_EQ(RdrIsUsb(handle_), 0);

  unsigned char inventory[100] = {};
  const int length = RdrInventory(handle_, 1, inventory, sizeof inventory);
  ASSERT_GE(length, 3 + 12);
  EXPECT_EQ(inventory[0], 1);
  ASSERT_EQ(RdrSelectTag(handle_, inventory + 3, length - 3), 0);

  const unsigned char data[4] = {0xDE, 0xAD, 0xBE, 0xEF};
  ASSERT_EQ(RdrWriteData(handle_, 3, 0, data, 4), 0);
  unsigned char back[4] = {};
  ASSERT_EQ(RdrReadData(handle_, 3, 0, back, 4), 4);
  EXPECT_EQ(std::vector<unsigned char>(back, back + 4), std::vector<unsigned char>(data, data + 4));
}

// Rates outside the terminal speed table: the line is raw all the same, so
// the reader's reply is read, not echoed back to it.
TEST_F(SdkOverPty, ReaderIsFoundAtRatesOutsideTheSpeedTable) {
  sim_ = std::make_unique<mkvsim::SimProcess>(std::vector<std::string>{});
  for (const int baud : {14400, 28800, 56000, 128000, 256000, 12345}) {
    SCOPED_TRACE(baud);
    const int handle = RdrOpen(sim_->PtyPath().c_str(), baud, 0, 300);
    EXPECT_GT(handle, 0);
    unsigned char version[8] = {};
    EXPECT_EQ(RdrGetVersion(handle, version, sizeof version, nullptr, 0), 4);
    if (handle > 0) {
      EXPECT_EQ(RdrClose(handle), 0);
    }
  }
}

TEST_F(SdkOverPty, FramingVariantOneIsDetected) {
  Open({"--variant", "1"});
  unsigned char version[8] = {};
  EXPECT_EQ(RdrGetVersion(handle_, version, sizeof version, nullptr, 0), 4);
}

// Each fault of the simulator ends in the exchange's error code, and the next
// exchange works again.
TEST_F(SdkOverPty, FaultsEndInTheirErrorCodes) {
  Open({"--tags", "1"});
  struct Case {
    const char* fault;
    int result;
    int lastError;
  };
  const Case cases[] = {
      {"fault delay 100", 4, 0},   // within the time-out: succeeds
      {"fault stray 55AA", 4, 0},  // stray bytes before the frame are dropped
      {"fault badcrc 1", -1, RDR_ERR_CHECKSUM},
      {"fault truncate 1", -1, RDR_ERR_TIMEOUT},
      {"fault drop 1", -1, RDR_ERR_TIMEOUT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    ASSERT_EQ(sim_->Command(c.fault).rfind("OK", 0), 0u);
    unsigned char version[8] = {};
    EXPECT_EQ(RdrGetVersion(handle_, version, sizeof version, nullptr, 0), c.result);
    if (c.result < 0) {
      EXPECT_EQ(RdrGetLastError(handle_), c.lastError);
    }
    sim_->Command("fault clear");
    EXPECT_EQ(RdrGetVersion(handle_, version, sizeof version, nullptr, 0), 4);
  }
}

TEST_F(SdkOverPty, ReaderStatusesReachTheLastError) {
  Open({"--tags", "2"});
  unsigned char inventory[100] = {};
  ASSERT_GT(RdrInventory(handle_, 1, inventory, sizeof inventory), 0);
  EXPECT_EQ(inventory[0], 2);
  unsigned char buffer[4] = {};
  EXPECT_EQ(RdrReadData(handle_, 3, 0, buffer, 4), -1);
  EXPECT_EQ(RdrGetLastError(handle_), RDR_ERR_COLLISION);
  EXPECT_EQ(RdrCommand(handle_, 0x77, nullptr, 0, buffer, sizeof buffer), -1);
  EXPECT_EQ(RdrGetLastError(handle_), RDR_ERR_UNKNOWN_COMMAND);
}

TEST_F(SdkOverPty, LostAcknowledgeIsVerifiedByReadingBack) {
  Open({"--tags", "1"});
  unsigned char inventory[100] = {};
  const int length = RdrInventory(handle_, 1, inventory, sizeof inventory);
  ASSERT_EQ(RdrSelectTag(handle_, inventory + 3, length - 3), 0);
  sim_->Command("fault lostack 1");
  const unsigned char data[2] = {0x12, 0x34};
  EXPECT_EQ(RdrWriteData(handle_, 3, 4, data, 2), 0);
  EXPECT_EQ(RdrGetLastError(handle_), 0);
}

TEST_F(SdkOverPty, TransmitPowerRoundTrip) {
  Open();
  ASSERT_EQ(RdrSetTxPower(handle_, 205, 1), 0);
  int power = 0;
  ASSERT_EQ(RdrGetTxPower(handle_, &power), 0);
  EXPECT_EQ(power, 205);
}

TEST(SdkOpen, NoReaderOnTheLineGivesMinusElevenAndFreesTheNumber) {
  // A reader at another bus address ignores every request to address 1.
  mkvsim::SimProcess sim({"--address", "7"});
  EXPECT_EQ(RdrOpen(sim.PtyPath().c_str(), 19200, 0, 50), RDR_OPEN_NO_READER);
  EXPECT_EQ(RdrGetLastError(RDR_OPEN_NO_READER), RDR_ERR_NOT_OPEN);
  // The same line at the right address opens, with the lowest serial number.
  const int handle = RdrOpen((sim.PtyPath() + ":7").c_str(), 19200, 0, 300);
  EXPECT_EQ(handle, 1);
  RdrClose(handle);
}

TEST(SdkOpen, HandlesAreNumberedLowestFreeFirst) {
  mkvsim::SimProcess first;
  mkvsim::SimProcess second;
  const int a = RdrOpen(first.PtyPath().c_str(), 19200, 0, 300);
  const int b = RdrOpen(second.PtyPath().c_str(), 19200, 0, 300);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(RdrClose(a), 0);
  EXPECT_EQ(RdrGetLastError(a), RDR_ERR_NOT_OPEN);
  const int again = RdrOpen(first.PtyPath().c_str(), 19200, 0, 300);
  EXPECT_EQ(again, 1);
  RdrClose(again);
  RdrClose(b);
  EXPECT_EQ(RdrClose(b), -1);
}

TEST(SdkOpen, MissingDeviceFailsToOpen) {
  EXPECT_EQ(RdrOpen("/dev/does-not-exist", 19200, 0, 100), RDR_OPEN_FAILED);
  EXPECT_EQ(RdrOpen("/dev/does-not-exist", 19200, 0, -1), RDR_OPEN_BAD_TIMEOUT);
}

TEST(SdkOpen, LostLineTimesOutInsteadOfHanging) {
  auto sim = std::make_unique<mkvsim::SimProcess>();
  const int handle = RdrOpen(sim->PtyPath().c_str(), 19200, 0, 100);
  ASSERT_GT(handle, 0);
  sim.reset();  // the reader goes away
  unsigned char version[8] = {};
  EXPECT_EQ(RdrGetVersion(handle, version, sizeof version, nullptr, 0), -1);
  EXPECT_EQ(RdrGetLastError(handle), RDR_ERR_TIMEOUT);
  EXPECT_EQ(RdrClose(handle), 0);
}

// D2XX devices of the fake driver library: listed by serial number (only the
// reader family's numbers), opened as USB links.
TEST(SdkD2xx, ListsAndOpensFakeDevices) {
  setenv("QLMKV_FTD2XX_LIBRARY", FAKE_FTD2XX_PATH, 1);
  setenv("QLMKV_FAKE_FTDI", "17050001:free,16990001:free,17090002:open", 1);
  std::vector<char> buffer(4096);
  const int used = RdrListUsbDevices(buffer.data(), static_cast<int>(buffer.size()));
  EXPECT_EQ(Unpack(buffer, used), std::vector<std::string>{"17050001"});

  const int handle = RdrOpen("17050001", 115200, 0, 300);
  ASSERT_GT(handle, 0);
  EXPECT_EQ(RdrIsUsb(handle), 1);
  char model[32] = {};
  unsigned char version[8] = {};
  EXPECT_EQ(RdrGetVersion(handle, version, sizeof version, model, sizeof model), 4);
  EXPECT_STREQ(model, "QL-MKV39");
  // An open device is no longer offered.
  EXPECT_TRUE(Unpack(buffer, RdrListUsbDevices(buffer.data(), static_cast<int>(buffer.size()))).empty());
  RdrClose(handle);
  EXPECT_EQ(RdrOpen("17099999", 19200, 0, 100), RDR_OPEN_FAILED);
}

}  // namespace
