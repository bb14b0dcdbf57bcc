// The module service's datagrams and the address texts, as parsed from
// untrusted network input.
#include "lan/datagram.h"

#include <gtest/gtest.h>

#include <functional>

#include "lan/adapters.h"
#include "lan/address_text.h"
#include "lan/ping.h"

namespace qlmkv::lan {
namespace {

Bytes SetupRecordWith(const Ipv4Bytes& address, std::uint16_t port, const std::string& name) {
  Bytes record(kSetupRecordMin, 0);
  std::copy(address.begin(), address.end(), record.begin());
  record[20] = static_cast<std::uint8_t>(port & 0xFF);
  record[21] = static_cast<std::uint8_t>(port >> 8);
  std::copy(name.begin(), name.end(), record.begin() + 112);
  return record;
}

TEST(LanDatagram, SizesOutsideHeaderAndLimitAreDropped) {
  const Bytes bytes(600, 0xF9);
  const struct {
    std::size_t size;
    bool kept;
  } cases[] = {{0, false}, {1, false}, {3, false}, {4, true}, {124, true}, {513, true}, {514, false}, {600, false}};
  for (const auto& c : cases) {
    const auto datagram = ParseDatagram({10, 0, 0, 2}, bytes.data(), c.size);
    EXPECT_EQ(datagram.has_value(), c.kept) << c.size;
    if (datagram) {
      EXPECT_EQ(datagram->type, 0xF9);
      EXPECT_EQ(datagram->data.size(), c.size - 4);
    }
  }
}

TEST(LanDatagram, EntryTextsForFixedAndAutomaticAddresses) {
  const struct {
    Ipv4Bytes recordAddress;
    std::string name;
    Ipv4Bytes sender;
    const char* entry;
  } cases[] = {
      {{10, 0, 0, 5}, "HALLE", {10, 0, 0, 5}, "10.0.0.5-10001"},
      {{0, 0, 0, 0}, "HALLE", {10, 0, 0, 7}, "[HALLE]10.0.0.7-10001"},
      // Eight characters fill the field with no terminator; nothing past it is read.
      {{0, 0, 0, 0}, "ABCDEFGH", {10, 0, 0, 7}, "[ABCDEFGH]10.0.0.7-10001"},
      {{0, 0, 0, 0}, "", {10, 0, 0, 7}, "[]10.0.0.7-10001"},
  };
  for (const auto& c : cases) {
    Bytes data = SetupRecordWith(c.recordAddress, 10001, c.name);
    if (c.name.size() == 8) data.push_back('Z');  // a byte beyond the name field
    const auto record = ParseSetupRecord(data);
    ASSERT_TRUE(record);
    EXPECT_EQ(EntryText(*record, c.sender), c.entry);
  }
  EXPECT_FALSE(ParseSetupRecord(Bytes(119, 0)));
}

TEST(LanDatagram, EntriesSplitForTheReaderCheck) {
  const struct {
    const char* entry;
    const char* name;
    const char* address;
  } cases[] = {
      {"10.0.0.5-10001", "", "10.0.0.5"},
      {"[HALLE]10.0.0.7-10001", "[HALLE]", "10.0.0.7"},
      {"[A-B]10.0.0.7-4001", "[A-B]", "10.0.0.7"},
      {"10.0.0.5", "", "10.0.0.5"},
  };
  for (const auto& c : cases) {
    const EntryParts parts = SplitEntry(c.entry);
    EXPECT_EQ(parts.name, c.name) << c.entry;
    EXPECT_EQ(parts.address, c.address) << c.entry;
  }
}

TEST(LanDatagram, ReaderCheckReadsTheDeviceTypeWithinTheRecord) {
  const auto record = [](const std::string& type, std::size_t size) {
    Bytes data(size, 0);
    for (std::size_t i = 0; i < type.size() && 93 + i < size; ++i) data[93 + i] = static_cast<std::uint8_t>(type[i]);
    return data;
  };
  EXPECT_TRUE(IsReaderDeviceRecord(record("QL-MKV", 126)));
  EXPECT_TRUE(IsReaderDeviceRecord(record("ql-mini", 126)));
  EXPECT_FALSE(IsReaderDeviceRecord(record("XPORT", 126)));
  EXPECT_FALSE(IsReaderDeviceRecord(record("QL-MKV", 125)));
  EXPECT_FALSE(IsReaderDeviceRecord(record("Q", 126)));
  // No terminator up to the end of the datagram: the text ends there.
  EXPECT_TRUE(IsReaderDeviceRecord(record(std::string(33, 'Q').replace(0, 3, "QL-"), 126)));
}

TEST(LanDatagram, RequestLayouts) {
  EXPECT_EQ(ReadRequest(0), (Bytes{0, 1, 0, 0xF8}));
  EXPECT_EQ(ReadRequest(2), (Bytes{0, 1, 0, 0xE2}));
  EXPECT_TRUE(ReadRequest(16).empty());
  EXPECT_EQ(ReadReplyType(2), 0xD2);
  EXPECT_EQ(WriteRequest(0, {7, 8}), (Bytes{0, 0, 0, 0xFD, 7, 8}));
  EXPECT_EQ(WriteRequest(3, {7}), (Bytes{0, 1, 0, 0xC3, 7}));
  EXPECT_EQ(WriteReplyType(0), 0xFB);
  EXPECT_EQ(WriteReplyType(3), 0xB3);
  EXPECT_EQ(AddressAssignment(0xA5, 0x5A, {10, 0, 0, 9}),
            (Bytes{0, 0, 0, 0xFC, 'I', 'P', '-', 'S', 'E', 'T', 'U', 'P', 0, 0, 0xA5, 0x5A, 10, 0, 0, 9}));
  EXPECT_EQ(RestartRequest(), (Bytes{0, 0, 0, 3, 0x58, 0x33}));
}

TEST(LanAddressText, PortsAndNames) {
  const struct {
    const char* text;
    bool ok;
    const char* host;
    std::uint16_t port;
  } cases[] = {
      {"10.0.0.5", true, "10.0.0.5", 10001}, {"10.0.0.5-4001", true, "10.0.0.5", 4001}, {"10.0.0.5-", false, "", 0},
      {"10.0.0.5-x1", false, "", 0},         {"10.0.0.5-70000", false, "", 0},          {"10.0.0.5-0", false, "", 0},
  };
  for (const auto& c : cases) {
    const auto peer = SplitPort(c.text);
    ASSERT_EQ(peer.has_value(), c.ok) << c.text;
    if (!peer) continue;
    EXPECT_EQ(peer->host, c.host);
    EXPECT_EQ(peer->port, c.port);
  }
  EXPECT_EQ(BracketedName("[HALLE]10.0.0.7-10001"), "[HALLE]");
  EXPECT_EQ(BracketedName("x[HAL"), "[HAL");
  EXPECT_EQ(BracketedName("10.0.0.7"), "");
  EXPECT_FALSE(ParseIpv4("10.0.0"));
  EXPECT_FALSE(ParseIpv4("[HALLE]"));
}

TEST(LanPing, OnlyTheUnchangedEchoCountsAsAnswer) {
  Bytes reply = EchoRequest(0x1234, 7, 16);
  reply[0] = 0;  // echo reply
  const struct {
    const char* what;
    std::function<void(Bytes&)> change;
    bool checkId;
    EchoMatch expected;
  } cases[] = {
      {"answer", [](Bytes&) {}, true, EchoMatch::kAnswer},
      {"altered data", [](Bytes& b) { b[12] = 0x46; }, true, EchoMatch::kAltered},
      {"shortened data", [](Bytes& b) { b.pop_back(); }, true, EchoMatch::kAltered},
      {"other sequence", [](Bytes& b) { b[7] = 8; }, true, EchoMatch::kOther},
      {"other identifier", [](Bytes& b) { b[5] = 0; }, true, EchoMatch::kOther},
      {"identifier set by the kernel", [](Bytes& b) { b[5] = 0; }, false, EchoMatch::kAnswer},
      {"a request, not a reply", [](Bytes& b) { b[0] = 8; }, true, EchoMatch::kOther},
      {"header only", [](Bytes& b) { b.resize(7); }, true, EchoMatch::kOther},
  };
  for (const auto& c : cases) {
    Bytes bytes = reply;
    c.change(bytes);
    EXPECT_EQ(MatchEchoReply(bytes.data(), bytes.size(), 0x1234, 7, 16, c.checkId), c.expected) << c.what;
  }
  const Bytes request = EchoRequest(0x1234, 7, 16);
  EXPECT_EQ(InternetChecksum(request.data(), request.size()), 0);
  EXPECT_EQ(request.size(), 24u);
}

TEST(LanAdapters, WalkingTheTable) {
  AdapterChoice none;
  EXPECT_FALSE(none.FirstAdapter());
  EXPECT_FALSE(none.NextAdapter());

  AdapterChoice choice(
      {{"10.0.0.1", "255.255.255.0", 2}, {"10.1.0.1", "255.255.0.0", 2}, {"192.168.5.1", "255.255.255.0", 3}});
  // Without a current adapter the walk begins with the first.
  EXPECT_TRUE(choice.NextAdapter());
  EXPECT_EQ(choice.LocalAddress(), "10.0.0.1");
  EXPECT_TRUE(choice.NextAdapter());
  EXPECT_EQ(choice.LocalAddress(), "10.1.0.1");
  EXPECT_TRUE(choice.NextAdapter());
  EXPECT_EQ(choice.LocalAddress(), "192.168.5.1");
  EXPECT_FALSE(choice.NextAdapter());
  EXPECT_TRUE(choice.FirstAdapter());
  EXPECT_EQ(choice.LocalAddress(), "10.0.0.1");

  // Among the addresses of the route's interface, the one whose subnet holds the peer.
  choice.SelectOnInterface(2, "10.1.7.7");
  EXPECT_EQ(choice.LocalAddress(), "10.1.0.1");
  choice.SelectOnInterface(3, "10.0.0.9");  // no subnet on that interface holds it: unchanged
  EXPECT_EQ(choice.LocalAddress(), "10.1.0.1");
}

}  // namespace
}  // namespace qlmkv::lan
