// HID readers through qlmkv_sdk.dll under Wine. CTest runs each suite in a
// process of its own, since the SDK loads its HID functions once:
//   SdkHidUnderWine       the fake HID library (QLMKV_HID_LIBRARY) presenting
//                         the readers of QLMKV_FAKE_HID
//   SdkHidSystemLibrary   Wine's own hid.dll and setupapi.dll
//   SdkHidMissingLibrary  a HID library that does not exist
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "reader/rdr.h"

namespace {

using Bytes = std::vector<unsigned char>;

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

struct OpenFailure {
  std::string device;
  std::string reason;
};

OpenFailure FailureOfOpen(const char* connection) {
  EXPECT_EQ(RdrOpen(connection, 19200, 0, 200), RDR_OPEN_FAILED) << connection;
  char device[64] = {};
  char reason[256] = {};
  EXPECT_EQ(RdrGetOpenFailure(device, sizeof device, reason, sizeof reason), 1);
  return {device, reason};
}

// The fake's controls, once the SDK has loaded it.
class FakeHid {
 public:
  FakeHid() {
    const char* library = std::getenv("QLMKV_HID_LIBRARY");
    module_ = library != nullptr ? GetModuleHandleA(library) : nullptr;
  }
  bool Loaded() const { return module_ != nullptr; }

  bool Unplug(int device) { return Control<int (*)(int)>("QlmkvFakeHidUnplug")(device) == 1; }
  // The output reports the device has been sent, once `last` is among them
  // (or what there is when it does not come).
  std::vector<Bytes> OutputReportsUntil(int device, const Bytes& last) {
    const auto wait = Control<int (*)(int, const unsigned char*, size_t, int)>("QlmkvFakeHidWaitForReport");
    const int have = wait(device, last.data(), last.size(), 5000);
    const auto get = Control<int (*)(int, int, unsigned char*, size_t)>("QlmkvFakeHidOutputReport");
    std::vector<Bytes> reports;
    for (int i = 0; i < have; ++i) {
      Bytes report(256);
      const int size = get(device, i, report.data(), report.size());
      report.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
      reports.push_back(report);
    }
    return reports;
  }

 private:
  template <typename Fn>
  Fn Control(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }
  HMODULE module_ = nullptr;
};

// The control report with its value, padded to the output report length.
Bytes ControlReport(unsigned char value, std::size_t length) {
  Bytes report(length, 0);
  report[1] = 0x82;
  report[2] = 0x10;
  report[3] = value;
  return report;
}

// Reads the version, finds a tag, writes a value to it and reads it back.
void ExchangeWithTheReader(int handle, unsigned char mark) {
  char model[32] = {};
  unsigned char version[8] = {};
  ASSERT_EQ(RdrGetVersion(handle, version, sizeof version, model, sizeof model), 4);
  EXPECT_STREQ(model, "QL-MKV39");
  unsigned char inventory[100] = {};
  const int length = RdrInventory(handle, 1, inventory, sizeof inventory);
  ASSERT_GE(length, 3 + 12);
  ASSERT_EQ(RdrSelectTag(handle, inventory + 3, length - 3), 0);
  const unsigned char value[4] = {mark, 0xC0, 0x00, 0x01};
  ASSERT_EQ(RdrWriteData(handle, 3, 0, value, sizeof value), 0);
  unsigned char back[4] = {};
  ASSERT_EQ(RdrReadData(handle, 3, 0, back, sizeof back), 4);
  EXPECT_EQ(Bytes(back, back + 4), Bytes(value, value + 4));
}

// The devices CTest hands the fake, by their place in the list.
constexpr int kNineByteReader = 0;
constexpr int kWideReader = 2;
constexpr int kReaderToUnplug = 5;
constexpr int kReaderWithoutCaps = 7;

TEST(SdkHidUnderWine, ListsEachAcceptedReaderOnce) {
  // Not the virtual-COM reader nor a foreign device; two readers of one
  // serial number once; not a device without serial number (the list keeps
  // the maker's reader numbers only).
  EXPECT_EQ(UsbDevices(), (std::vector<std::string>{"17050001 HID", "17050065 HID", "17059998 HID", "17050009 HID"}));
}

struct ReaderCase {
  const char* test;
  const char* name;
  int device;
  std::size_t outputLength;  // from the device's capabilities, 9 without
  unsigned char mark;
};

class SdkHidRoundTrip : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(SdkHidRoundTrip, ExchangesFramesInReportsOfTheDeviceLength) {
  const ReaderCase& reader = GetParam();
  const int handle = RdrOpen(reader.name, 19200, 0, 1000);
  ASSERT_GT(handle, 10000);
  EXPECT_EQ(RdrIsUsb(handle), 1);
  ExchangeWithTheReader(handle, reader.mark);
  EXPECT_EQ(RdrClose(handle), 0);

  FakeHid fake;
  ASSERT_TRUE(fake.Loaded());
  // Opened with control value 0 and closed with 1 (on the first device of
  // the name); each frame between in reports of the output length, the id
  // byte 0 in front.
  const std::vector<Bytes> reports = fake.OutputReportsUntil(reader.device, ControlReport(1, reader.outputLength));
  ASSERT_GE(reports.size(), 3u);
  EXPECT_EQ(reports.front(), ControlReport(0, reader.outputLength));
  EXPECT_EQ(reports.back(), ControlReport(1, reader.outputLength));
  for (std::size_t i = 1; i + 1 < reports.size(); ++i) {
    ASSERT_EQ(reports[i].size(), reader.outputLength) << "report " << i;
    EXPECT_EQ(reports[i][0], 0);
    EXPECT_LE(reports[i][1], reader.outputLength - 2);
  }

  // The device is free again.
  const int again = RdrOpen(reader.name, 19200, 0, 1000);
  ASSERT_GT(again, 10000);
  ExchangeWithTheReader(again, static_cast<unsigned char>(reader.mark + 1));
  EXPECT_EQ(RdrClose(again), 0);
}

INSTANTIATE_TEST_SUITE_P(SdkHidUnderWine, SdkHidRoundTrip,
                         ::testing::Values(ReaderCase{"NineByteReports", "17050001 HID", kNineByteReader, 9, 0x10},
                                           ReaderCase{"WideReports", "17050065 HID", kWideReader, 65, 0x20},
                                           ReaderCase{"NoCapabilities", "17050009 HID", kReaderWithoutCaps, 9, 0x30}),
                         [](const ::testing::TestParamInfo<ReaderCase>& reader) {
                           return std::string(reader.param.test);
                         });

// An unplugged reader fails the exchanges from then on instead of hanging,
// and is no longer listed.
TEST(SdkHidUnderWine, AnUnpluggedReaderFailsItsExchanges) {
  const int handle = RdrOpen("17059998 HID", 19200, 0, 500);
  ASSERT_GT(handle, 10000);
  FakeHid fake;
  ASSERT_TRUE(fake.Loaded());
  ASSERT_TRUE(fake.Unplug(kReaderToUnplug));
  unsigned char version[8] = {};
  char model[32] = {};
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(RdrGetVersion(handle, version, sizeof version, model, sizeof model), -1);
    EXPECT_EQ(RdrGetLastError(handle), RDR_ERR_TIMEOUT);
  }
  EXPECT_EQ(RdrClose(handle), 0);
  EXPECT_EQ(UsbDevices(), (std::vector<std::string>{"17050001 HID", "17050065 HID", "17050009 HID"}));
}

TEST(SdkHidUnderWine, ANameWithoutAReaderFailsWithTheReason) {
  const OpenFailure failure = FailureOfOpen("17059999 HID");
  EXPECT_EQ(failure.device, "17059999 HID");
  EXPECT_EQ(failure.reason, "no HID reader of this name");
}

// Wine's own HID and set-up functions load and list (no readers there), and
// the port list still works beside them.
TEST(SdkHidSystemLibrary, ListsWithoutReadersAndNamesWhyAnOpenFails) {
  char ports[4096] = {};
  EXPECT_GE(RdrListSerialPorts(ports, sizeof ports), 0);
  for (const std::string& name : UsbDevices()) EXPECT_EQ(name.find(" HID"), std::string::npos) << name;
  const OpenFailure failure = FailureOfOpen("17050001 HID");
  EXPECT_EQ(failure.device, "17050001 HID");
  EXPECT_EQ(failure.reason, "no HID reader of this name");
}

TEST(SdkHidMissingLibrary, ListsNothingAndNamesTheLibrary) {
  EXPECT_TRUE(UsbDevices().empty());
  const OpenFailure failure = FailureOfOpen("17050001 HID");
  EXPECT_EQ(failure.device, "17050001 HID");
  EXPECT_EQ(failure.reason, std::string("cannot load ") + std::getenv("QLMKV_HID_LIBRARY"));
  char ports[4096] = {};
  EXPECT_GE(RdrListSerialPorts(ports, sizeof ports), 0);
}

}  // namespace
