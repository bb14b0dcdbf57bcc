// Each command's request payload, its checks before sending and what it makes
// of the reply, against a variant-0 reader on the in-memory link.
#include "reader/commands.h"

#include <gtest/gtest.h>

#include <functional>

#include "reader/rdr.h"
#include "tests/reader/scripted_reader.h"

namespace qlmkv::test {
namespace {

struct CommandCase {
  const char* name;
  std::function<bool(ReaderCommands&, Bytes& out)> call;
  std::optional<Request> expectedRequest;  // nothing: the command must not be sent
  Reply reply;
  int expectedError;  // 0: success
  Bytes expectedOut;
};

const Password kPassword = {0x11, 0x22, 0x33, 0x44};

class Commands : public ::testing::TestWithParam<CommandCase> {};

TEST_P(Commands, SendPayloadAndHandleReply) {
  const CommandCase& c = GetParam();
  ScriptedReader reader(ReaderOfVariant(0, [&](const Request&) { return std::optional<Reply>(c.reply); }));
  CQL_MKV_Port port(1, 50);
  port.AttachTransport(reader.Connect(port));
  ReaderCommands commands(port);
  Bytes out;
  const bool ok = c.call(commands, out);
  port.CloseTransport();

  EXPECT_EQ(ok, c.expectedError == 0);
  EXPECT_EQ(port.LastError(), c.expectedError);
  EXPECT_EQ(out, c.expectedOut);
  const auto requests = reader.Requests();
  if (!c.expectedRequest) {
    EXPECT_TRUE(requests.empty());
    return;
  }
  ASSERT_EQ(requests.size(), 1u);
  const auto sent = DecodeRequest(0, requests[0]);
  ASSERT_TRUE(sent.has_value());
  EXPECT_EQ(sent->command, c.expectedRequest->command);
  EXPECT_EQ(sent->payload, c.expectedRequest->payload);
}

Bytes PowerOut(ReaderCommands& commands, bool& ok) {
  int power = -1;
  ok = commands.GetTxPower(power);
  return ok ? Bytes{static_cast<std::uint8_t>(power & 0xFF), static_cast<std::uint8_t>(power >> 8)} : Bytes{};
}

INSTANTIATE_TEST_SUITE_P(
    All, Commands,
    ::testing::Values(
        CommandCase{"Version", [](ReaderCommands& c, Bytes& o) { return c.GetVersion(o); },
                    Request{0xF0, {}}, Reply{0, {'3', '2', '1', '3'}}, 0, {'3', '2', '1', '3'}},
        CommandCase{"ModeZero", [](ReaderCommands& c, Bytes&) { return c.SetMode(0); },
                    Request{0xF4, {0x00}}, Reply{}, 0, {}},
        CommandCase{"ModeWithHighBit", [](ReaderCommands& c, Bytes&) { return c.SetMode(0x83); },
                    Request{0xF4, {0x83}}, Reply{}, 0, {}},
        CommandCase{"ModeFourRefused", [](ReaderCommands& c, Bytes&) { return c.SetMode(4); },
                    std::nullopt, Reply{}, RDR_ERR_MODE, {}},
        CommandCase{"Inventory", [](ReaderCommands& c, Bytes& o) { return c.Inventory(1, o); },
                    Request{0xC0, {0x01}}, Reply{0, {0x01, 0x30, 0x00, 0xE2, 0x00}}, 0,
                    {0x01, 0x30, 0x00, 0xE2, 0x00}},
        CommandCase{"InventoryCollision", [](ReaderCommands& c, Bytes& o) { return c.Inventory(1, o); },
                    Request{0xC0, {0x01}}, Reply{23, {}}, 23, {}},
        CommandCase{"SelectTag", [](ReaderCommands& c, Bytes&) { return c.SelectTag({0xE2, 0x00, 0x34}); },
                    Request{0xC2, {0xE2, 0x00, 0x34}}, Reply{}, 0, {}},
        CommandCase{"SelectWithoutEpc", [](ReaderCommands& c, Bytes&) { return c.SelectTag({}); },
                    Request{0xC2, {}}, Reply{}, 0, {}},
        CommandCase{"Read", [](ReaderCommands& c, Bytes& o) { return c.ReadData(3, 0x1234, 4, o); },
                    Request{0xC3, {0x03, 0x34, 0x12, 0x00, 0x04}}, Reply{0, {1, 2, 3, 4}}, 0, {1, 2, 3, 4}},
        CommandCase{"ReadHighestAddress", [](ReaderCommands& c, Bytes& o) { return c.ReadData(1, 65535, 2, o); },
                    Request{0xC3, {0x01, 0xFF, 0xFF, 0x00, 0x02}}, Reply{0, {9, 9}}, 0, {9, 9}},
        CommandCase{"ReadAddressTooHigh", [](ReaderCommands& c, Bytes& o) { return c.ReadData(1, 65536, 2, o); },
                    std::nullopt, Reply{}, RDR_ERR_ADDRESS, {}},
        CommandCase{"ReadNegativeAddress", [](ReaderCommands& c, Bytes& o) { return c.ReadData(1, -1, 2, o); },
                    std::nullopt, Reply{}, RDR_ERR_ADDRESS, {}},
        CommandCase{"ReadCountBeyondOneByte", [](ReaderCommands& c, Bytes& o) { return c.ReadData(1, 0, 256, o); },
                    std::nullopt, Reply{}, RDR_ERR_CAPACITY, {}},
        CommandCase{"Write", [](ReaderCommands& c, Bytes&) { return c.WriteData(1, 2, {0xAB, 0xCD}); },
                    Request{0xC4, {0x01, 0x02, 0x00, 0x00, 0xAB, 0xCD}}, Reply{}, 0, {}},
        CommandCase{"WriteAddressTooHigh", [](ReaderCommands& c, Bytes&) { return c.WriteData(1, 70000, {1}); },
                    std::nullopt, Reply{}, RDR_ERR_ADDRESS, {}},
        CommandCase{"WriteUnknownCommandNoReadBack",
                    [](ReaderCommands& c, Bytes&) { return c.WriteData(1, 2, {0xAB}); },
                    Request{0xC4, {0x01, 0x02, 0x00, 0x00, 0xAB}}, Reply{24, {}}, 24, {}},
        CommandCase{"WritePw", [](ReaderCommands& c, Bytes&) { return c.WriteDataPw(3, 0x100, kPassword, {0x5A}); },
                    Request{0xC5, {0x03, 0x00, 0x01, 0x00, 0x11, 0x22, 0x33, 0x44, 0x5A}}, Reply{}, 0, {}},
        CommandCase{"WritePwAddressTooHigh",
                    [](ReaderCommands& c, Bytes&) { return c.WriteDataPw(3, 65536, kPassword, {0x5A}); },
                    std::nullopt, Reply{}, RDR_ERR_ADDRESS, {}},
        CommandCase{"Lock", [](ReaderCommands& c, Bytes&) { return c.Lock(kPassword, 2, 4); },
                    Request{0xC6, {0x11, 0x22, 0x33, 0x44, 0x02, 0x04}}, Reply{}, 0, {}},
        CommandCase{"GetTxPower", [](ReaderCommands& c, Bytes& o) { bool ok; o = PowerOut(c, ok); return ok; },
                    Request{0x07, {}}, Reply{0, {0x04, 0x01, 0x77}}, 0, {0x04, 0x01}},
        CommandCase{"GetTxPowerShortReply", [](ReaderCommands& c, Bytes& o) { bool ok; o = PowerOut(c, ok); return ok; },
                    Request{0x07, {}}, Reply{0, {0x04}}, RDR_ERR_POWER_REPLY, {}},
        CommandCase{"SetTxPower", [](ReaderCommands& c, Bytes&) { return c.SetTxPower(270, 1); },
                    Request{0x08, {0x0E, 0x01, 0x01}}, Reply{}, 0, {}},
        CommandCase{"SwitchUsbMode", [](ReaderCommands& c, Bytes&) { return c.SwitchUsbMode(2); },
                    Request{0xFF, {0x02}}, Reply{}, 0, {}},
        CommandCase{"DeviceText", [](ReaderCommands& c, Bytes& o) { return c.Command(0x09, {}, o); },
                    Request{0x09, {}}, Reply{0, {'M', 'K', 'V'}}, 0, {'M', 'K', 'V'}}),
    [](const ::testing::TestParamInfo<CommandCase>& param) { return std::string(param.param.name); });

// A write answered with status 21 is checked by reading the range back.
TEST(WriteVerification, ReadBackDecides) {
  struct Case {
    const char* name;
    bool withPassword;
    Reply readBack;
    bool readBackAnswered;
    bool expectedOk;
    int expectedError;
  };
  const Bytes data = {0xAB, 0xCD};
  const Case cases[] = {
      {"identical", false, Reply{0, {0xAB, 0xCD}}, true, true, 0},
      {"identical, with password", true, Reply{0, {0xAB, 0xCD}}, true, true, 0},
      {"byte differs", false, Reply{0, {0xAB, 0xCE}}, true, false, 21},
      {"length differs", true, Reply{0, {0xAB}}, true, false, 21},
      {"read-back refused", false, Reply{23, {}}, true, false, 21},
      {"read-back times out", false, Reply{}, false, false, 21},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedReader reader(ReaderOfVariant(0, [&](const Request& request) -> std::optional<Reply> {
      if (request.command == 0xC3) return c.readBackAnswered ? std::optional<Reply>(c.readBack) : std::nullopt;
      return Reply{21, {}};
    }));
    CQL_MKV_Port port(1, 30);
    port.AttachTransport(reader.Connect(port));
    ReaderCommands commands(port);
    const bool ok = c.withPassword ? commands.WriteDataPw(1, 7, kPassword, data) : commands.WriteData(1, 7, data);
    port.CloseTransport();
    EXPECT_EQ(ok, c.expectedOk);
    EXPECT_EQ(port.LastError(), c.expectedError);
    const auto requests = reader.Requests();
    ASSERT_EQ(requests.size(), 2u);
    const auto readBack = DecodeRequest(0, requests[1]);
    ASSERT_TRUE(readBack.has_value());
    EXPECT_EQ(readBack->command, 0xC3);
    EXPECT_EQ(readBack->payload, (Bytes{0x01, 0x07, 0x00, 0x00, 0x02}));
  }
}

TEST(ModelName, DerivedFromTheVersionReply) {
  struct Case {
    Bytes version;
    std::string expected;
  };
  const Case cases[] = {
      {{'3', '1', '2', '3'}, "QL-MKV39"},
      {{'3', '2', '1', '3'}, "MK380"},
      {{'3', '0', '3', 'A'}, "QL-MKV38 Plus"},
      {{'3', '2', '3'}, "MKV380 Plus"},
      {{'3', 'A', '0', '0'}, ""},
      {{'3', '1'}, "---"},
      {{}, "---"},
      {{'X', '1', '2', '5'}, ""},
      {{'3', '1', '4', '1'}, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ModelNameFromVersion(c.version), c.expected);
}

}  // namespace
}  // namespace qlmkv::test
