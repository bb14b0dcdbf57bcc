// The stored reader link checked at start-up: a swapped USB reader is opened
// directly, a serial name is taken as it stands.
#include "app/connection/port_settings.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "app/connection/open_reader.h"
#include "reader/rdr.h"
#include "tests/app/temp_folder.h"

namespace stampwise {
namespace {

using testing::TempFolder;

class StoredPortChoice : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QLMKV_FTD2XX_LIBRARY", FAKE_FTD2XX_PATH, 1);
    setenv("QLMKV_FAKE_FTDI", "17050002:free", 1);
  }
  void TearDown() override {
    unsetenv("QLMKV_FAKE_FTDI");
    unsetenv("QLMKV_FTD2XX_LIBRARY");
  }
  std::string StoredName() { return settings_.ReadString(section::kPort, "Name", "<missing>"); }

  TempFolder folder_;
  Settings settings_{folder_.File("settings.ini"), folder_.Path() + "/"};
};

TEST_F(StoredPortChoice, ASwappedUsbReaderIsTakenAndOpened) {
  settings_.WriteString(section::kPort, "Name", "USB: 17050001");
  AttachedDevices attached;
  const PortSettings port = LoadCheckedPortSettings(settings_, &attached);
  EXPECT_EQ(port.name, "USB: 17050002");
  EXPECT_EQ(StoredName(), "USB: 17050002");
  EXPECT_EQ(attached.usb, std::vector<std::string>{"17050002"});
  const ReaderIdentity reader = OpenReader(ConnectString(port.name, port.address), 19200, 500);
  EXPECT_GT(reader.handle, 0);
  if (reader.handle > 0) RdrClose(reader.handle);
}

TEST_F(StoredPortChoice, NamesThatAreNotCheckedStayAsStored) {
  const char* names[] = {"/dev/pts/77", "COM3", "LAN: 10.0.0.5"};  // Ethernet off: no search, no ping
  for (const char* name : names) {
    settings_.WriteString(section::kPort, "Name", name);
    EXPECT_EQ(LoadCheckedPortSettings(settings_).name, name);
    EXPECT_EQ(StoredName(), name);
  }
}

TEST_F(StoredPortChoice, AUsbChoiceWithNoReaderAttachedIsEmptied) {
  setenv("QLMKV_FAKE_FTDI", "", 1);
  settings_.WriteString(section::kPort, "Name", "USB: 17050001");
  EXPECT_EQ(LoadCheckedPortSettings(settings_).name, "");
  EXPECT_EQ(StoredName(), "");
}

// The two readers of "Port" have their own defaults: the interface dialog
// reads a missing time-out as 1000 ms, the main window as 500 ms.
TEST_F(StoredPortChoice, MissingKeysReadWithTheirReadersDefaults) {
  const PortSettings port = LoadPortSettings(settings_);
  EXPECT_EQ(port.name, "COM1");
  EXPECT_EQ(StoredName(), "COM1");
  EXPECT_EQ(port.timeoutMs, 1000);
  EXPECT_EQ(port.baudCode, 19200);
  EXPECT_EQ(port.address, 1);
  EXPECT_FALSE(port.ethernet);
  EXPECT_EQ(settings_.ReadPortTimeout(), 500);
  EXPECT_EQ(settings_.ReadPortBaudrate(), 19200);
  EXPECT_EQ(settings_.ReadString(section::kPort, "Timeout", "<missing>"), "<missing>");
}

// The dialog's OK stores every key in one save; the name and the baud code
// only when it has one, so a stored choice survives an OK without selection.
TEST_F(StoredPortChoice, TheDialogsSaveKeepsWhatItHasNoValueFor) {
  settings_.WriteString(section::kPort, "Name", "/dev/pts/77");
  settings_.WriteInt(section::kPort, "Baudrate", 9601);
  struct Case {
    std::optional<std::string> name;
    std::optional<int> baudCode;
    const char* storedName;
    int storedBaudCode;
  };
  const Case cases[] = {
      {std::nullopt, std::nullopt, "/dev/pts/77", 9601},
      {"COM3", std::nullopt, "COM3", 9601},
      {std::nullopt, 115200, "COM3", 115200},
  };
  int timeoutMs = 100;
  for (const Case& c : cases) {
    ++timeoutMs;
    ASSERT_TRUE(SavePortSettings(settings_, PortChoice{c.name, c.baudCode, timeoutMs, true, 7}));
    const PortSettings port = LoadPortSettings(settings_);
    EXPECT_EQ(port.name, c.storedName);
    EXPECT_EQ(port.baudCode, c.storedBaudCode);
    EXPECT_EQ(port.timeoutMs, timeoutMs);
    EXPECT_TRUE(port.ethernet);
    EXPECT_EQ(port.address, 7);
    EXPECT_EQ(settings_.ReadPortTimeout(), timeoutMs);
  }
}

}  // namespace
}  // namespace stampwise
