#include "gui/port_rules.h"

#include <gtest/gtest.h>

#include "app/texts/strings.h"

namespace stampwise::portdlg {
namespace {

TEST(PortRules, BaudCodeShowsRateParityAndStopBits) {
  struct Case {
    int code;
    LineControls shown;
  };
  const Case cases[] = {
      {38400 + 3, {4, 0, 1}},   // "38400", "keine", "2"
      {9600 + 1, {2, 1, 0}},    // "9600", "gerade", "1"
      {19200 + 7, {3, 0, 0}},   // an unknown remainder counts as 0
      {115200 + 2, {6, 2, 0}},  // "ungerade"
      {12345, {-1, 0, 0}},      // no entry for 12300: no baud selection
  };
  for (const Case& c : cases) EXPECT_EQ(LineControlsForCode(c.code), c.shown) << c.code;
}

TEST(PortRules, ControlsGiveTheBaudCode) {
  struct Case {
    LineControls controls;
    std::optional<int> code;
  };
  const Case cases[] = {
      {{6, 2, 1}, 115200 + 2},  // two stop bits survive only with parity "keine"
      {{6, 0, 1}, 115200 + 3}, {{3, 1, 0}, 19200 + 1},
      {{0, 0, 0}, 2400},       {{-1, 1, 1}, std::nullopt},  // no baud selection: nothing stored
  };
  for (const Case& c : cases) EXPECT_EQ(CodeForLineControls(c.controls), c.code);
}

TEST(PortRules, RefreshMergesFreshNamesBehindTheFirstDifference) {
  using List = std::vector<std::string>;
  struct Case {
    List stored;
    List fresh;
    bool changed;
  };
  const Case cases[] = {
      {{"a", "b", "c"}, {"a", "b", "c"}, false},
      {{"a", "c"}, {"a", "b", "c"}, true},  // new device in the middle
      {{"a", "b", "c"}, {"a", "b"}, true},
      {{"a"}, {"a", "b"}, true},
      {{"a", "b"}, {}, true},
      {{}, {}, false},
  };
  for (const Case& c : cases) {
    List stored = c.stored;
    EXPECT_EQ(MergeList(stored, c.fresh), c.changed);
    EXPECT_EQ(stored, c.fresh);
  }
}

TEST(PortRules, EntriesCarryTheirKindAndSerialPrefixIsDropped) {
  const auto entries = DeviceEntries({"\\\\.\\COM3", "/dev/ttyS0"}, {"1705-0042 HID"}, {"192.168.1.5"});
  EXPECT_EQ(entries, (std::vector<std::string>{"COM3", "/dev/ttyS0", "USB: 1705-0042 HID", "LAN: 192.168.1.5"}));
  EXPECT_EQ(FindEntry(entries, "usb: 1705"), 2);
  EXPECT_EQ(FindEntry(entries, "COM9"), -1);
  EXPECT_EQ(FindEntry(entries, ""), 0);
}

TEST(PortRules, FieldRangesAndTheirMessages) {
  struct Case {
    Result<int> (*check)(std::string_view);
    const char* text;
    std::optional<int> value;
    int messageId;
  };
  const Case cases[] = {
      {CheckTimeout, "10", 10, 0},
      {CheckTimeout, "300000", 300000, 0},
      {CheckTimeout, "9", std::nullopt, 61714},
      {CheckTimeout, "300001", std::nullopt, 61714},
      {CheckTimeout, "", std::nullopt, 61719},
      {CheckTimeout, "-5", std::nullopt, 61719},
      {CheckTimeout, "99999999999", std::nullopt, 61719},
      {CheckAddress, "255", 255, 0},
      {CheckAddress, "0", std::nullopt, 61714},
      {CheckAddress, "x", std::nullopt, 61712},
  };
  for (const Case& c : cases) {
    const Result<int> result = c.check(c.text);
    EXPECT_EQ(result.ok() ? std::optional<int>(result.value()) : std::nullopt, c.value) << c.text;
    EXPECT_EQ(result.message().id, c.messageId) << c.text;
    if (c.messageId == 61712 || c.messageId == 61719) {
      EXPECT_EQ(result.message().text, LoadString(c.messageId)) << c.text;
    } else if (c.messageId == 61714) {
      EXPECT_NE(result.message().text.find("zwischen"), std::string::npos) << c.text;
    } else {
      EXPECT_EQ(result.message().text, "") << c.text;
    }
  }
  EXPECT_NE(CheckTimeout("5").message().text.find("10 und 300000"), std::string::npos);
}

TEST(PortRules, ModeButtonsFollowTheName) {
  struct Case {
    const char* name;
    bool driver;
    UsbMode mode;
  };
  const Case cases[] = {
      {"USB: 1705-00042 HID", true, UsbMode::Hid},
      {"USB: 1705-00042 HID", false, UsbMode::None},
      {"USB: 1700-9 HID", true, UsbMode::Hid},
      {"USB: 1800-9 HID", true, UsbMode::None},
      {"USB: 1705-00042", true, UsbMode::None},
      {"/dev/ttyACM0 [Vex Virtual COM]", false, UsbMode::VirtualCom},
      {"COM4 [Vex Virtual COM]", true, UsbMode::VirtualCom},
      {"/dev/ttyUSB0 [ZR-4 reader]", true, UsbMode::None},
      {"LAN: 10.0.0.1 [Vex Virtual COM]", true, UsbMode::None},
      {"", true, UsbMode::None},
  };
  for (const Case& c : cases) EXPECT_EQ(ModeOf(c.name, c.driver), c.mode) << c.name;
}

TEST(PortRules, StoredUsbChoicesAreChecked) {
  EXPECT_EQ(CheckedUsbName("USB: A1", {"B2", "A1"}), "USB: A1");
  EXPECT_EQ(CheckedUsbName("USB: A1", {"B2"}), "USB: B2");
  EXPECT_EQ(CheckedUsbName("USB: a1", {"A1"}), "USB: A1");  // exact, case-sensitive
  EXPECT_EQ(CheckedUsbName("USB: A1", {}), "");
}

TEST(PortRules, DriverPromptAndIpEntry) {
  EXPECT_EQ(DriverPromptText(0), "");
  EXPECT_EQ(DriverPromptText(1), LoadString(116) + "\n");
  EXPECT_EQ(DriverPromptText(3), LoadString(114) + "\n" + LoadString(116) + "\n");
  EXPECT_EQ(IpSearchEntry("[Halle 3] 10.0.0.4"), "[Halle 3]");
  EXPECT_EQ(IpSearchEntry("10.0.0.4"), "10.0.0.4");
  EXPECT_EQ(IpSearchEntry("]x]"), "]x]");  // a bracket at the start does not count
}

}  // namespace
}  // namespace stampwise::portdlg
