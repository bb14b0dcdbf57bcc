// The HID port: report layout and descriptor lengths as pure functions, and
// the port against the fake hidapi library of tests/fakes, whose devices are
// simulated readers; and the port without any usable library.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "protocol/frame.h"
#include "tests/fakes/fake_hid.h"
#include "tests/transport/transport_test_util.h"
#include "transport/hid_port.h"
#include "transport/hid_report.h"
#include "transport/open_failure_note.h"
#include "transport/transports.h"

namespace qlmkv {
namespace {

using test::Bytes;
using test::FakeHid;
using test::RecordingListener;

// --- output reports --------------------------------------------------------

TEST(HidReports, FramesAreCutIntoReportsOfTheOutputLength) {
  struct Case {
    std::size_t frameSize;
    std::size_t outputLength;
    std::vector<std::size_t> counts;
  };
  const Case cases[] = {
      {20, 9, {7, 7, 6}}, {20, 65, {20}}, {63, 65, {63}}, {64, 65, {63, 1}}, {7, 9, {7}},
      {0, 9, {}},         {5, 3, {}},     {5, 66, {}},    {4, 4, {2, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.frameSize) + " bytes in reports of " + std::to_string(c.outputLength));
    const Bytes frame = test::Pattern(c.frameSize);
    const std::vector<hid::Report> reports = hid::BuildOutputReports(frame.data(), frame.size(), c.outputLength);
    ASSERT_EQ(reports.size(), c.counts.size());
    Bytes joined;
    for (std::size_t i = 0; i < reports.size(); ++i) {
      const hid::Report& report = reports[i];
      ASSERT_EQ(report.size(), c.outputLength);
      EXPECT_EQ(report[0], 0) << "report id";
      EXPECT_EQ(report[1], c.counts[i]);
      joined.insert(joined.end(), report.begin() + 2, report.begin() + 2 + static_cast<long>(c.counts[i]));
      EXPECT_TRUE(std::all_of(report.begin() + 2 + static_cast<long>(c.counts[i]), report.end(), [](std::uint8_t b) {
        return b == 0;
      })) << "padding";
    }
    if (!c.counts.empty()) {
      EXPECT_EQ(joined, frame);
    }
  }
}

TEST(HidReports, TheControlReportIsPaddedToTheOutputLength) {
  EXPECT_EQ(hid::ControlReport(1, 9), (Bytes{0x00, 0x82, 0x10, 0x01, 0, 0, 0, 0, 0}));
  EXPECT_EQ(hid::ControlReport(0, 65).size(), 65u);
}

// --- input reports ----------------------------------------------------------

TEST(HidReports, InputReportsYieldOnlyWhatArrived) {
  struct Case {
    const char* name;
    Bytes report;
    hid::InputLayout layout;
    Bytes payload;
  };
  const Case cases[] = {
      {"count and payload", {3, 0xA1, 0xA2, 0xA3, 0, 0, 0, 0}, {9, false}, {0xA1, 0xA2, 0xA3}},
      {"count beyond what arrived", {200, 1, 2, 3, 4, 5, 6, 7}, {9, false}, {1, 2, 3, 4, 5, 6, 7}},
      {"count zero", {0, 1, 2, 3, 4, 5, 6, 7}, {9, false}, {}},
      {"shorter than announced", {3, 1, 2, 3, 0, 0, 0}, {9, false}, {}},
      {"nothing", {}, {9, false}, {}},
      {"longer than announced", {9, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {9, false}, {1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {"numbered report keeps its id", {5, 2, 0xB1, 0xB2, 0, 0, 0, 0, 0}, {9, true}, {0xB1, 0xB2}},
      {"numbered, only the id", {5}, {1, true}, {}},
      {"announced length below two", {1, 0xC1}, {0, false}, {0xC1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(hid::UnpackInputReport(c.report.data(), c.report.size(), c.layout), c.payload);
  }
}

// --- report descriptors -----------------------------------------------------

// A vendor collection with one input and one output report of 8-bit fields.
Bytes Descriptor(unsigned inputBytes, unsigned outputBytes) {
  Bytes d = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08};
  d.insert(d.end(), {0x96, static_cast<std::uint8_t>(inputBytes), static_cast<std::uint8_t>(inputBytes >> 8)});
  d.insert(d.end(), {0x09, 0x01, 0x81, 0x02});
  d.insert(d.end(), {0x96, static_cast<std::uint8_t>(outputBytes), static_cast<std::uint8_t>(outputBytes >> 8)});
  d.insert(d.end(), {0x09, 0x01, 0x91, 0x02, 0xC0});
  return d;
}

TEST(HidDescriptor, ReportLengthsCountTheIdByte) {
  struct Case {
    const char* name;
    Bytes descriptor;
    std::optional<std::size_t> input;
    std::optional<std::size_t> output;
    bool numbered;
  };
  const Case cases[] = {
      {"8-byte reports", Descriptor(8, 8), 9, 9, false},
      {"64-byte reports", Descriptor(64, 64), 65, 65, false},
      {"input only", {0x75, 0x08, 0x95, 0x10, 0x81, 0x02}, 17, std::nullopt, false},
      {"bit fields round up", {0x75, 0x01, 0x95, 0x0B, 0x81, 0x02, 0x75, 0x08, 0x95, 0x02, 0x91, 0x02}, 3, 3, false},
      {"numbered reports, the largest counts",
       {0x85, 0x01, 0x75, 0x08, 0x95, 0x04, 0x81, 0x02, 0x85, 0x02, 0x95, 0x0A, 0x81, 0x02, 0x91, 0x02},
       11,
       11,
       true},
      {"push and pop restore the field size",
       {0x75, 0x08, 0xA4, 0x75, 0x10, 0xB4, 0x95, 0x04, 0x81, 0x02},
       5,
       std::nullopt,
       false},
      {"long item skipped", {0xFE, 0x02, 0x11, 0xAA, 0xBB, 0x75, 0x08, 0x95, 0x08, 0x91, 0x02}, std::nullopt, 9, false},
      {"truncated item", {0x75, 0x08, 0x96, 0x40}, std::nullopt, std::nullopt, false},
      {"pop without push", {0xB4, 0x75, 0x08, 0x95, 0x08, 0x81, 0x02}, std::nullopt, std::nullopt, false},
      {"absurd count", {0x75, 0x08, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02}, std::nullopt, std::nullopt, false},
      {"empty", {}, std::nullopt, std::nullopt, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const hid::ReportLengths lengths = hid::ParseReportDescriptor(c.descriptor.data(), c.descriptor.size());
    EXPECT_EQ(lengths.input, c.input);
    EXPECT_EQ(lengths.output, c.output);
    EXPECT_EQ(lengths.numberedReports, c.numbered);
  }
}

TEST(HidDescriptor, ComesFromSysfsForPlainHidrawNodesOnly) {
  const std::filesystem::path root = std::filesystem::temp_directory_path() / ("hid-sysfs-" + std::to_string(getpid()));
  std::filesystem::create_directories(root / "class/hidraw/hidraw3/device");
  const Bytes descriptor = Descriptor(8, 8);
  std::ofstream(root / "class/hidraw/hidraw3/device/report_descriptor", std::ios::binary)
      .write(reinterpret_cast<const char*>(descriptor.data()), static_cast<std::streamsize>(descriptor.size()));

  EXPECT_EQ(hid::ReadSysfsReportDescriptor("/dev/hidraw3", root.string()), descriptor);
  for (const char* path : {"/dev/hidraw4", "/dev/hidraw", "/dev/hidraw3x", "../../hidraw3/../x", ""}) {
    EXPECT_TRUE(hid::ReadSysfsReportDescriptor(path, root.string()).empty()) << path;
  }
  std::filesystem::remove_all(root);
}

// --- the port over the fake library -----------------------------------------

constexpr char kReader[] = "1C40:05AB:17050001:9:9";

class HidPortTest : public ::testing::Test {
 protected:
  std::unique_ptr<CHidPort> Open(const std::string& devices, const std::string& name, RecordingListener& sink) {
    fake_.reset();  // before the next one sets the environment
    fake_ = std::make_unique<FakeHid>(devices);
    if (!fake_->Loaded()) ADD_FAILURE() << "fake hidapi library not loaded";
    return CHidPort::Open(name, sink);
  }
  std::unique_ptr<FakeHid> fake_;
};

TEST_F(HidPortTest, ListsEachAcceptedDeviceOnce) {
  struct Case {
    const char* devices;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"", {}},
      {"16C0:2913:A1:9:9,1C40:05AB:A2:9:9,1C40:05AD:A3:9:9,1C40:05AE:A4:9:9,1C40:05AF:A5:9:9",
       {"A1 HID", "A2 HID", "A3 HID", "A4 HID", "A5 HID"}},
      {"1C40:05AC:VCOM:9:9,1C40:05B0:B1:9:9,16C0:2914:B2:9:9", {}},
      {"1C40:05AB::9:9,1C40:05AD::9:9", {"1319-???? HID"}},
      {"1C40:05AB:C1:9:9,1C40:05AB:C1:9:9", {"C1 HID"}},
      {"1C40:05AB:LOCKED:9:9:locked,1C40:05AB:FREE:9:9", {"FREE HID"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.devices);
    FakeHid fake(c.devices);
    EXPECT_EQ(EnumHidDevices(), c.names);
  }
}

TEST_F(HidPortTest, OpensTheFirstDeviceOfAName) {
  RecordingListener sink;
  const std::unique_ptr<CHidPort> port = Open("1C40:05AB::9:9,1C40:05AD::9:9", "1319-???? HID", sink);
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(fake_->OpenHandles(0), 2) << "one handle per direction";
  EXPECT_EQ(fake_->OpenHandles(1), 0);
  EXPECT_TRUE(port->IsUsb());
  EXPECT_EQ(CHidPort::Open("1319-???? hid", sink), nullptr) << "names compare exactly";
  EXPECT_EQ(CHidPort::Open("1319-????", sink), nullptr);
}

TEST_F(HidPortTest, AFailedOpenNotesTheNameAndTheReason) {
  struct Case {
    const char* devices;
    const char* name;
    const char* reason;
  };
  const Case cases[] = {
      {kReader, "17059999 HID", "no HID reader of this name"},
      {"1C40:05AC:17050001:9:9", "17050001 HID", "no HID reader of this name"},
      {"1C40:05AB:17050001:9:9:locked", "17050001 HID", "cannot open /dev/fake-hidraw0"},
      {"1C40:05AB:17050001:9:66", "17050001 HID", "output reports of 66 bytes; at most 65 are supported"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.devices);
    RecordingListener sink;
    ClearOpenFailure();
    EXPECT_EQ(Open(c.devices, c.name, sink), nullptr);
    const std::optional<OpenFailureNote> note = LastOpenFailure();
    ASSERT_TRUE(note.has_value());
    EXPECT_EQ(note->device, c.name);
    EXPECT_EQ(note->reason, c.reason);
  }
}

TEST_F(HidPortTest, ReportLengthsComeFromTheDescriptor) {
  struct Case {
    const char* lengths;
    bool opens;
    std::size_t input;
    std::size_t output;
  };
  const Case cases[] = {
      {"9:9", true, 9, 9},     {"65:65", true, 65, 65}, {"-:-", true, 9, 9},
      {"33:17", true, 33, 17}, {"9:66", false, 0, 0},   {"9:3", false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lengths);
    RecordingListener sink;
    const std::unique_ptr<CHidPort> port = Open(std::string("1C40:05AB:17050001:") + c.lengths, "17050001 HID", sink);
    ASSERT_EQ(port != nullptr, c.opens);
    if (port == nullptr) {
      EXPECT_EQ(fake_->OpenHandles(0), 0) << "a refused device is let go";
      continue;
    }
    EXPECT_EQ(port->InputReportLength(), c.input);
    EXPECT_EQ(port->OutputReportLength(), c.output);
  }
}

TEST_F(HidPortTest, AFrameGoesOutInReportsBetweenTheControlValues) {
  RecordingListener sink;
  std::unique_ptr<CHidPort> port = Open(kReader, "17050001 HID", sink);
  ASSERT_NE(port, nullptr);
  const Bytes frame = test::Pattern(20);
  port->Send(frame.data(), frame.size(), std::chrono::milliseconds(500));
  port->Close();
  const std::vector<Bytes> reports = fake_->OutputReports(0);
  ASSERT_EQ(reports.size(), 5u);
  EXPECT_EQ(reports[0], hid::ControlReport(0, 9));
  EXPECT_EQ(reports[1][1], 7);
  EXPECT_EQ(reports[2][1], 7);
  EXPECT_EQ(reports[3][1], 6);
  EXPECT_EQ(reports[4], hid::ControlReport(1, 9));
  EXPECT_EQ(fake_->OpenHandles(0), 0);
  port->Close();  // a second close does nothing
  EXPECT_EQ(fake_->OutputReports(0).size(), 5u);
}

TEST_F(HidPortTest, TheReplyOfTheReaderReachesTheSink) {
  for (const char* lengths : {"9:9", "65:65", "17:33"}) {
    SCOPED_TRACE(lengths);
    RecordingListener sink;
    std::unique_ptr<CHidPort> port = Open(std::string("1C40:05AB:17050001:") + lengths, "17050001 HID", sink);
    ASSERT_NE(port, nullptr);
    const Bytes request = frame::Build(0, 1, 0xF0, nullptr, 0);
    port->Send(request.data(), request.size(), std::chrono::milliseconds(500));
    // The reply spans several input reports for the shorter lengths.
    std::size_t complete = 0;
    for (std::size_t want = frame::HeaderSize(0); complete == 0;) {
      const Bytes got = sink.WaitForBytes(want);
      if (got.size() < want) break;
      complete = frame::CompleteLength(0, got.data(), got.size());
      want = got.size() + 1;
    }
    ASSERT_GT(complete, 0u);
    EXPECT_EQ(sink.Received().size(), complete) << "nothing but the reply";
  }
}

TEST_F(HidPortTest, AnUnpluggedDeviceEndsTheLink) {
  RecordingListener sink;
  std::unique_ptr<CHidPort> port = Open(kReader, "17050001 HID", sink);
  ASSERT_NE(port, nullptr);
  fake_->Unplug(0);
  EXPECT_TRUE(sink.WaitForLinkLost());
  const Bytes request = frame::Build(0, 1, 0xF0, nullptr, 0);
  port->Send(request.data(), request.size(), std::chrono::milliseconds(100));
  port->Close();
  EXPECT_EQ(fake_->OpenHandles(0), 0);
  EXPECT_EQ(fake_->OutputReports(0).size(), 1u) << "only the opening control value went out";
  EXPECT_TRUE(EnumHidDevices().empty());
}

// Without a usable library there is no HID, and nothing else happens. The
// library is loaded once per process, so each case runs in a fresh one.
TEST(HidUnavailableTest, NoLibraryOrAMissingEntryPointMeansNoHid) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const char* library : {"/nonexistent/libhidapi-hidraw.so.0", QLMKV_FAKE_HIDAPI_PARTIAL}) {
    SCOPED_TRACE(library);
    EXPECT_EXIT(
        {
          FakeHid fake(kReader, library);
          RecordingListener sink;
          const bool none = EnumHidDevices().empty() && OpenHidTransport("17050001 HID", sink) == nullptr;
          // The note names what is missing.
          const std::optional<OpenFailureNote> note = LastOpenFailure();
          const bool named = note && note->reason.find(library) != std::string::npos;
          std::exit(none && named ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
  }
}

}  // namespace
}  // namespace qlmkv
