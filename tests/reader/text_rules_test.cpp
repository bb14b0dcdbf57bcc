// Pure text rules of the library: connection strings, hexadecimal text,
// packed name lists and LAN address texts.
#include <gtest/gtest.h>

#include <cstring>

#include "reader/connection_string.h"
#include "reader/hex_text.h"
#include "reader/lan_params.h"
#include "reader/packed_list.h"
#include "reader/rdr.h"

namespace qlmkv {
namespace {

TEST(ConnectionString, ComNamesKeepTheirBaudRate) {
  struct Case {
    const char* text;
    bool com;
  };
  const Case cases[] = {{"COM3", true},        {"com12", true},        {"Com", true},
                        {"CO", false},         {"/dev/ttyUSB0", true}, {"/dev/ttyACM0 [x]", true},
                        {"/DEV/ttyS0", false}, {"dev/ttyS0", false},   {"FT12AB", false},
                        {"0012 HID", false},   {"10.0.0.1", false}};
  for (const Case& c : cases) {
    EXPECT_EQ(KeepsCallerBaudRate(c.text), c.com) << c.text;
    EXPECT_EQ(EffectiveBaudRate(c.text, 115200), c.com ? 115200 : 19200) << c.text;
  }
}

TEST(ConnectionString, DeviceAddressSuffix) {
  struct Case {
    const char* text;
    const char* port;
    int address;
  };
  const Case cases[] = {{"COM3", "COM3", 1},
                        {"COM3:5", "COM3", 5},
                        {"COM3:", "COM3:", 1},
                        {"COM3:abc", "COM3", 0},
                        {"COM3:12x", "COM3", 12},
                        {"a:b:3", "a", 0},
                        {"10.0.0.1-10001:7", "10.0.0.1-10001", 7},
                        {":4", "", 4},
                        {"", "", 1}};
  for (const Case& c : cases) {
    const ConnectionTarget target = ParseConnectionString(c.text);
    EXPECT_EQ(target.port, c.port) << c.text;
    EXPECT_EQ(target.deviceAddress, c.address) << c.text;
  }
}

TEST(ConnectionString, LinkKind) {
  struct Case {
    const char* port;
    LinkKind kind;
  };
  const Case cases[] = {{"[Reader]", LinkKind::kLan},  {"1.2.3.4", LinkKind::kLan},     {"1.2.3", LinkKind::kSerial},
                        {".1.2.3", LinkKind::kSerial}, {"a.b.c.d HID", LinkKind::kLan}, {"77 HID", LinkKind::kHid},
                        {"77 hid", LinkKind::kSerial}, {"COM1", LinkKind::kSerial},     {"", LinkKind::kSerial}};
  for (const Case& c : cases) EXPECT_EQ(ClassifyPort(c.port), c.kind) << c.port;
  EXPECT_EQ(SerialPortName("/dev/ttyUSB1 [ZR-4 Reader]"), "/dev/ttyUSB1");
  EXPECT_EQ(SerialPortName("COM2"), "COM2");
  EXPECT_EQ(SerialPortName("\\\\.\\COM3 [Vex Virtual COM]"), "\\\\.\\COM3");
  // D2XX serial numbers may hold blanks: the whole name is the serial number.
  EXPECT_EQ(SerialPortName("FT AB 12"), "FT AB 12");
  EXPECT_EQ(SerialPortName("\\\\.\\1705 A B"), "1705 A B");
}

TEST(HexText, BytesFromText) {
  struct Case {
    const char* text;
    int maxCount;
    std::vector<std::uint8_t> expected;
  };
  const Case cases[] = {
      {"12 34 AB", 10, {0x12, 0x34, 0xAB}},
      {"1234AB", 10, {0x12, 0x34, 0xAB}},
      {"123 4", 10, {0x12, 0x03, 0x04}},
      {"", 10, {0x00}},
      {"   ", 10, {0x00}},
      {"  ab  cD ", 10, {0xAB, 0xCD}},
      {"12345", 10, {0x12, 0x34, 0x05}},
      {"1234AB", 2, {0x12, 0x34}},
      {"12 34", 0, {}},
      {"zz 1G", 10, {0x00, 0x10}},
      {"Read Error 12", 10, {}},
      {"1 2 3", 10, {0x01, 0x02, 0x03}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HexToBytes(c.text, c.maxCount), c.expected) << c.text;
    unsigned char buffer[16];
    EXPECT_EQ(RdrHexToBytes(c.text, buffer, c.maxCount), static_cast<int>(c.expected.size())) << c.text;
  }
}

TEST(PackedList, NamesThatFitInOrder) {
  struct Case {
    const char* name;
    std::vector<std::string> names;
    int capacity;
    std::string expected;  // with the zero bytes
  };
  using namespace std::string_literals;
  const Case cases[] = {
      {"all fit", {"ab", "c"}, 32, "ab\0c\0\0"s},
      {"exactly room for the extra byte", {"ab", "c"}, 6, "ab\0c\0\0"s},
      {"one byte short ends the list", {"ab", "c"}, 5, "ab\0\0"s},
      {"a later short name is not taken", {"ab", "long name", "c"}, 8, "ab\0\0"s},
      {"empty list", {}, 4, "\0"s},
      {"capacity one", {"a"}, 1, "\0"s},
      {"no room at all", {"a"}, 0, ""s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    char buffer[40];
    std::memset(buffer, 'x', sizeof buffer);
    const int used = PackNames(c.names, buffer, c.capacity);
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(used)), c.expected);
    EXPECT_EQ(buffer[used], 'x');
  }
}

TEST(PackedList, ReaderUsbNames) {
  struct Case {
    const char* name;
    bool reader;
  };
  const Case cases[] = {{"1700", true},  {"1705ABC HID", true}, {"1709", true},   {"1699XYZ", false},
                        {"1710", false}, {"17", false},         {"A1705", false}, {"", false}};
  for (const Case& c : cases) EXPECT_EQ(IsReaderUsbName(c.name), c.reader) << c.name;
}

TEST(LanText, AddressTargets) {
  struct Case {
    const char* text;
    bool valid;
    Ipv4 address;
    std::uint16_t port;
    std::optional<std::string> name;
  };
  const Case cases[] = {
      {"192.168.1.20", true, {192, 168, 1, 20}, 0, std::nullopt},
      {"10.0.0.1-10001", true, {10, 0, 0, 1}, 10001, std::nullopt},
      {"[Lager3]", true, {0, 0, 0, 0}, 0, "Lager3"},
      {"[Lager3]-2000", true, {0, 0, 0, 0}, 2000, "Lager3"},
      {"256.0.0.1", false, {}, 0, std::nullopt},
      {"1.2.3", false, {}, 0, std::nullopt},
      {"1.2.3.4.5", false, {}, 0, std::nullopt},
      {"1.2.3.4-", false, {}, 0, std::nullopt},
      {"1.2.3.4-70000", false, {}, 0, std::nullopt},
      {"[open", false, {}, 0, std::nullopt},
      {"", false, {}, 0, std::nullopt},
  };
  for (const Case& c : cases) {
    const auto target = ParseLanTarget(c.text);
    ASSERT_EQ(target.has_value(), c.valid) << c.text;
    if (!target) continue;
    EXPECT_EQ(target->address, c.address) << c.text;
    EXPECT_EQ(target->port, c.port) << c.text;
    EXPECT_EQ(target->name, c.name) << c.text;
  }
}

TEST(LanText, HostBitsOfMask) {
  struct Case {
    Ipv4 mask;
    int bits;
  };
  const Case cases[] = {{{255, 255, 255, 0}, 8},   {{255, 255, 0, 0}, 16},    {{0, 0, 0, 0}, 32},
                        {{255, 255, 255, 255}, 0}, {{255, 255, 255, 128}, 7}, {{255, 240, 0, 0}, 20}};
  for (const Case& c : cases) EXPECT_EQ(HostBitCount(c.mask), c.bits);
}

}  // namespace
}  // namespace qlmkv
