// D2XX readers through qlmkv_sdk.dll under Wine: the fake D2XX library,
// built for Windows as ftd2xx.dll beside the test, presents the devices of
// QLMKV_FAKE_FTDI (set by CTest), each a simulated reader.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "reader/rdr.h"

namespace {

std::vector<std::string> Unpack(const std::vector<char>& buffer, int used) {
  std::vector<std::string> names;
  for (std::size_t at = 0; at < static_cast<std::size_t>(used) && buffer[at] != '\0';) {
    names.emplace_back(&buffer[at]);
    at += names.back().size() + 1;
  }
  return names;
}

std::vector<std::string> UsbDevices() {
  std::vector<char> buffer(4096);
  return Unpack(buffer, RdrListUsbDevices(buffer.data(), static_cast<int>(buffer.size())));
}

TEST(SdkD2xxUnderWine, ListsOpensWritesAndReadsAFakeDevice) {
  EXPECT_EQ(UsbDevices(), std::vector<std::string>{"17050001"});

  const int handle = RdrOpen("17050001", 115200, 0, 1000);
  ASSERT_GT(handle, 0);
  EXPECT_EQ(RdrIsUsb(handle), 1);
  char model[32] = {};
  unsigned char version[8] = {};
  EXPECT_EQ(RdrGetVersion(handle, version, sizeof version, model, sizeof model), 4);
  EXPECT_STREQ(model, "QL-MKV39");
  // An open device is no longer offered.
  EXPECT_TRUE(UsbDevices().empty());

  unsigned char inventory[100] = {};
  const int length = RdrInventory(handle, 1, inventory, sizeof inventory);
  ASSERT_GE(length, 3 + 12);
  ASSERT_EQ(RdrSelectTag(handle, inventory + 3, length - 3), 0);
  const unsigned char value[4] = {0xD2, 0xC0, 0x00, 0x01};
  ASSERT_EQ(RdrWriteData(handle, 3, 0, value, sizeof value), 0);
  unsigned char back[4] = {};
  ASSERT_EQ(RdrReadData(handle, 3, 0, back, sizeof back), 4);
  EXPECT_EQ(std::vector<unsigned char>(back, back + 4), std::vector<unsigned char>(value, value + 4));

  EXPECT_EQ(RdrClose(handle), 0);
  EXPECT_EQ(UsbDevices(), std::vector<std::string>{"17050001"});
  EXPECT_EQ(RdrOpen("17099999", 19200, 0, 100), RDR_OPEN_FAILED);
}

// An unplugged device ends the exchange under way instead of leaving it to
// its time-out, and every later one fails too.
TEST(SdkD2xxUnderWine, AnUnpluggedDeviceFailsItsExchanges) {
  const int handle = RdrOpen("17050001", 115200, 0, 1000);
  ASSERT_GT(handle, 0);
  // Loaded by the open connection.
  const HMODULE fake = GetModuleHandleA("ftd2xx.dll");
  ASSERT_NE(fake, nullptr);
  using UnplugFn = int (*)(const char*);
  const auto unplug = reinterpret_cast<UnplugFn>(reinterpret_cast<void*>(GetProcAddress(fake, "QlmkvFakeFtdiUnplug")));
  ASSERT_NE(unplug, nullptr);
  ASSERT_EQ(unplug("17050001"), 1);

  unsigned char version[8] = {};
  char model[32] = {};
  EXPECT_EQ(RdrGetVersion(handle, version, sizeof version, model, sizeof model), -1);
  EXPECT_EQ(RdrGetLastError(handle), RDR_ERR_TIMEOUT);
  EXPECT_EQ(RdrGetVersion(handle, version, sizeof version, model, sizeof model), -1);
  RdrClose(handle);
}

}  // namespace
