// Device lists and LAN module configuration through the C interface.
#include <gtest/gtest.h>

#include <cstring>

#include "reader/rdr.h"
#include "tests/reader/sdk_fixture.h"

namespace qlmkv::test {
namespace {

using SdkLists = SdkTest;
using SdkLan = SdkTest;

std::string Packed(const char* buffer, int used) { return std::string(buffer, static_cast<std::size_t>(used)); }

TEST_F(SdkLists, DeviceListsArePackedAndUsbListFiltered) {
  using namespace std::string_literals;
  serialPorts = {"/dev/ttyACM0 [Vex Virtual COM]", "/dev/ttyS0"};
  ftdiDevices = {"1705A1B2", "1699ZZZZ"};
  hidDevices = {"1709C3 HID", "0042 HID"};
  lanReaders = {"[Halle1]"};
  char buffer[128];
  EXPECT_EQ(Packed(buffer, RdrListSerialPorts(buffer, sizeof buffer)),
            "/dev/ttyACM0 [Vex Virtual COM]\0/dev/ttyS0\0\0"s);
  EXPECT_EQ(Packed(buffer, RdrListUsbDevices(buffer, sizeof buffer)),
            "1705A1B2\0"
            "1709C3 HID\0\0"s);
  EXPECT_EQ(Packed(buffer, RdrListLanReaders(buffer, sizeof buffer, 1)), "[Halle1]\0\0"s);
  EXPECT_EQ(Packed(buffer, RdrListUsbDevices(buffer, 11)), "1705A1B2\0\0"s);
}

TEST_F(SdkLan, ConfigConnectionReadsRecordsAndRestarts) {
  module->record[3] = 42;
  const int handle = RdrLanConfigOpen("10.1.2.3:4");
  ASSERT_EQ(handle, 20001);
  EXPECT_EQ(module->opens, std::vector<std::string>{"10.1.2.3"});
  unsigned char buffer[200];
  EXPECT_EQ(RdrLanConfigRead(handle, 0, buffer, sizeof buffer), 120);
  EXPECT_EQ(buffer[3], 42);
  EXPECT_EQ(RdrLanConfigRead(handle, 0, buffer, 119), -1);
  EXPECT_EQ(RdrLanConfigRead(handle, 1, buffer, sizeof buffer), -1);
  EXPECT_EQ(RdrLanConfigClose(handle, 1), 0);
  EXPECT_EQ(module->restarts, 1);
  EXPECT_EQ(RdrLanConfigClose(handle, 1), -1);
  unreachable["10.9.9.9"] = true;
  EXPECT_EQ(RdrLanConfigOpen("10.9.9.9"), -1);
}

TEST_F(SdkLan, PingStripsSuffixes) {
  EXPECT_EQ(RdrPing("10.0.0.7-10001:3"), 1);
  EXPECT_EQ(RdrPing("[Halle-2]:1"), 1);
  EXPECT_EQ(pings, (std::vector<std::string>{"10.0.0.7", "[Halle-2]"}));
}

TEST_F(SdkLan, SetLanParamsWritesOnlyWhatChanged) {
  struct Case {
    const char* name;
    const char* newAddress;
    const char* mask;
    const char* gateway;
    int writeFailures;
    int expectedResult;
    bool expectWrite;
    std::function<void(const std::vector<std::uint8_t>&)> check;
  };
  const Case cases[] = {
      {"nothing changed", "10.0.0.5", nullptr, "", 0, 0, false, nullptr},
      {"mask", "10.0.0.5", "255.255.0.0", nullptr, 0, 0, true, [](const auto& r) { EXPECT_EQ(r[6], 16); }},
      {"same mask", "10.0.0.5", "255.255.255.0", nullptr, 0, 0, false, nullptr},
      {"port", "10.0.0.5-2101", nullptr, nullptr, 0, 0, true,
       [](const auto& r) { EXPECT_EQ(r[20] | (r[21] << 8), 2101); }},
      {"gateway", "10.0.0.5", nullptr, "10.0.0.254", 0, 0, true, [](const auto& r) { EXPECT_EQ(r[15], 254); }},
      {"name longer than 8", "[Lagerhalle7]", nullptr, nullptr, 0, 0, true,
       [](const auto& r) {
         EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r[112]), 8), "Lagerhal");
         EXPECT_EQ(r[0], 0);
       }},
      {"write fails twice then succeeds", "10.0.0.5-2101", nullptr, nullptr, 2, 0, true, nullptr},
      {"every write fails", "10.0.0.5-2101", nullptr, nullptr, 6, -1, false, nullptr},
      {"unreadable address", "10.0.0", nullptr, nullptr, 0, -1, false, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    module = std::make_shared<ModuleState>();
    module->record[0] = 10;
    module->record[3] = 5;
    module->record[6] = 8;
    module->record[20] = 0x11;
    module->record[21] = 0x27;
    module->writeFailures = c.writeFailures;
    EXPECT_EQ(RdrSetLanParams("10.0.0.5", c.newAddress, c.mask, c.gateway), c.expectedResult);
    EXPECT_EQ(module->writes.size(), c.expectWrite ? 1u : 0u);
    if (c.expectWrite && c.check) c.check(module->writes[0]);
    if (c.expectedResult == 0) {
      EXPECT_EQ(module->restarts, 1);
    }
    EXPECT_TRUE(module->assignments.empty());
  }
}

TEST_F(SdkLan, NewAddressIsAssignedAndTheModuleReopenedThere) {
  module->record[0] = 10;
  module->record[3] = 5;
  module->identity = std::vector<std::uint8_t>(26, 0);
  module->identity[24] = 0xC1;
  module->identity[25] = 0xC2;
  EXPECT_EQ(RdrSetLanParams("10.0.0.5", "10.0.0.9-10001", "255.255.255.0", nullptr), 0);
  ASSERT_EQ(module->assignments.size(), 1u);
  EXPECT_EQ(module->assignments[0], (std::vector<std::uint8_t>{0xC1, 0xC2, 10, 0, 0, 9}));
  EXPECT_EQ(module->opens, (std::vector<std::string>{"10.0.0.5", "10.0.0.9-10001"}));
  EXPECT_EQ(pings, std::vector<std::string>{"10.0.0.9"});
  ASSERT_EQ(module->writes.size(), 1u);
  EXPECT_EQ(module->writes[0][3], 9);
  EXPECT_EQ(module->restarts, 1);  // only the final close restarts
}

TEST_F(SdkLan, BracketedNameIsWrittenWithoutAnAddressAssignment) {
  module->record[0] = 10;
  module->record[3] = 5;
  module->identity = std::vector<std::uint8_t>(26, 0);
  EXPECT_EQ(RdrSetLanParams("10.0.0.5", "[HALLE]-10001", nullptr, nullptr), 0);
  EXPECT_TRUE(module->assignments.empty());
  EXPECT_EQ(module->opens, std::vector<std::string>{"10.0.0.5"});
  ASSERT_EQ(module->writes.size(), 1u);
  EXPECT_EQ(module->writes[0][0], 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&module->writes[0][112])), "HALLE");
  EXPECT_EQ(module->restarts, 1);
}

TEST_F(SdkLan, SetLanParamsFailsWhenTheModuleCannotBeReached) {
  unreachable["10.0.0.5"] = true;
  EXPECT_EQ(RdrSetLanParams("10.0.0.5", "10.0.0.6", nullptr, nullptr), -1);
  unreachable.clear();
  module->readOk = false;
  EXPECT_EQ(RdrSetLanParams("10.0.0.5", "10.0.0.6", nullptr, nullptr), -1);
  EXPECT_EQ(module->restarts, 1);
}

}  // namespace
}  // namespace qlmkv::test
