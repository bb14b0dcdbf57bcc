// The D2XX path against the fake library of tests/fakes, whose devices are
// simulated readers; and the same path without any library.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <string>
#include <thread>

#include "protocol/frame.h"
#include "tests/transport/transport_test_util.h"
#include "transport/d2xx_line.h"
#include "transport/ftd2xx_port.h"
#include "transport/transports.h"
#include "transport/usb_serial_port.h"

namespace qlmkv {
namespace {

using test::Bytes;
using test::RecordingListener;

constexpr char kDevices[] = "FT1234:free,FT5678:open,:free,A9:free";

// Points the loader at a library and the fake at its devices for one test.
class ScopedD2xxEnvironment {
 public:
  ScopedD2xxEnvironment(const char* library, const char* devices) {
    setenv("QLMKV_FTD2XX_LIBRARY", library, 1);
    setenv("QLMKV_FAKE_FTDI", devices, 1);
  }
  ~ScopedD2xxEnvironment() {
    unsetenv("QLMKV_FTD2XX_LIBRARY");
    unsetenv("QLMKV_FAKE_FTDI");
  }
};

// Reads the reply to one request from the sink, bounded by the test patience.
Bytes AwaitReply(RecordingListener& sink) {
  const auto deadline = std::chrono::steady_clock::now() + test::kPatience;
  for (std::size_t want = frame::HeaderSize(0); std::chrono::steady_clock::now() < deadline;) {
    const Bytes got = sink.WaitForBytes(want);
    const std::size_t complete = frame::CompleteLength(0, got.data(), got.size());
    if (complete != 0 && got.size() >= complete) return Bytes(got.begin(), got.begin() + static_cast<long>(complete));
    want = got.size() + 1;
  }
  return {};
}

class D2xxTest : public ::testing::Test {
 protected:
  // Holds the fake loaded for the test, so its controls can be reached, and
  // starts every test from the device list above.
  void SetUp() override {
    fake_ = dlopen(QLMKV_FAKE_FTD2XX, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(fake_, nullptr) << dlerror();
    Control<void (*)()>("QlmkvFakeFtdiReset")();
  }
  void TearDown() override {
    if (fake_ != nullptr) dlclose(fake_);
  }

  template <typename Fn>
  Fn Control(const char* name) {
    return reinterpret_cast<Fn>(dlsym(fake_, name));
  }

  ScopedD2xxEnvironment environment_{QLMKV_FAKE_FTD2XX, kDevices};
  void* fake_ = nullptr;
};

TEST_F(D2xxTest, ListsOnlyFreeDevicesWithSerialNumbers) {
  EXPECT_EQ(EnumFtdiDevices(), (std::vector<std::string>{"FT1234", "A9"}));
}

TEST_F(D2xxTest, OpensBySerialNumberAndExchangesAFrame) {
  RecordingListener sink;
  LineSettings settings;
  settings.baudRate = 57600;
  auto transport = OpenSerialTransport("FT1234", settings, sink);
  ASSERT_NE(transport, nullptr);
  EXPECT_TRUE(transport->IsUsb());

  EXPECT_EQ(Control<long (*)(const char*)>("QlmkvFakeFtdiBaudRate")("FT1234"), 57600);

  // An open device is no longer offered.
  EXPECT_EQ(EnumFtdiDevices(), (std::vector<std::string>{"A9"}));

  const Bytes request = frame::Build(0, 1, 0xF0, nullptr, 0);
  transport->Send(request.data(), request.size(), std::chrono::milliseconds(1000));
  Bytes data;
  ASSERT_EQ(frame::ValidateReply(0, AwaitReply(sink), data), 0);
  EXPECT_EQ(std::string(data.begin(), data.end()), "3125");

  transport->Close();
  EXPECT_EQ(EnumFtdiDevices(), (std::vector<std::string>{"FT1234", "A9"}));
}

TEST_F(D2xxTest, DevicesThatAreTakenOrUnknownDoNotOpen) {
  RecordingListener sink;
  auto first = OpenSerialTransport("FT1234", LineSettings{}, sink);
  ASSERT_NE(first, nullptr);
  for (const std::string name : {"FT1234", "FT5678", "NOPE", "123"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(OpenSerialTransport(name, LineSettings{}, sink), nullptr);
  }
}

TEST_F(D2xxTest, UnpluggedDeviceIsALostLine) {
  RecordingListener listener;
  CUSBSerialPort port;
  ASSERT_TRUE(port.InitPort(&listener, "A9", 19200, 'N', 8, 1, 0, 9, 512));
  ASSERT_TRUE(port.StartMonitoring());
  EXPECT_EQ(Control<int (*)(const char*)>("QlmkvFakeFtdiUnplug")("A9"), 1);
  const auto errors = listener.WaitForLineError();
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors[0], line_error::kPortLost);
  port.ClosePort();
  EXPECT_FALSE(port.IsOpen());
}

TEST_F(D2xxTest, LoaderToleratesMissingEntryPoints) {
  CFTD2xxPort library;
  ASSERT_TRUE(library.Load());
  // The fake leaves out the twelve entry points the port never calls.
  EXPECT_EQ(library.ResolvedCount(), 15);
}

TEST(D2xxMissingLibraryTest, OnlyTheD2xxPathFails) {
  ScopedD2xxEnvironment environment("/nonexistent/libftd2xx.so", kDevices);
  EXPECT_TRUE(EnumFtdiDevices().empty());
  RecordingListener sink;
  EXPECT_EQ(OpenSerialTransport("FT1234", LineSettings{}, sink), nullptr);
  CFTD2xxPort library;
  d2xx::Word32 count = 7;
  EXPECT_EQ(library.FT_CreateDeviceInfoList(&count), d2xx::kInvalidHandle);

  test::PseudoTerminal pty;
  ASSERT_TRUE(pty.ok());
  EXPECT_NE(OpenSerialTransport(pty.slavePath(), LineSettings{}, sink), nullptr);
}

struct HandshakeCase {
  int mode;
  d2xx::Word32 rtsControl;
  bool ctsFlow, dsrFlow, xonXoff;
};

TEST(D2xxSettingsTest, HandshakeModesSetTheControlBlock) {
  using namespace d2xx::dcb;
  const HandshakeCase cases[] = {
      {0, kControlEnable, false, false, false}, {1, kRtsHandshake, true, true, false},
      {2, kControlEnable, false, false, true},  {3, kRtsHandshake, false, false, false},
      {9, kControlEnable, false, false, false},
  };
  for (const HandshakeCase& c : cases) {
    SCOPED_TRACE(c.mode);
    d2xx::Dcb dcb{};
    // Start from a block with every flag set: the fixed ones must be cleared.
    dcb.flags = 0x7FFF;
    ApplyHandshake(c.mode, dcb);
    EXPECT_EQ((dcb.flags & kRtsControlMask) >> kRtsControlShift, c.rtsControl);
    EXPECT_EQ((dcb.flags & kDtrControlMask) >> kDtrControlShift, kControlEnable);
    EXPECT_EQ((dcb.flags & kOutxCtsFlow) != 0, c.ctsFlow);
    EXPECT_EQ((dcb.flags & kOutxDsrFlow) != 0, c.dsrFlow);
    EXPECT_EQ((dcb.flags & kOutX) != 0, c.xonXoff);
    EXPECT_EQ((dcb.flags & kInX) != 0, c.xonXoff);
    EXPECT_EQ(dcb.flags & (kAbortOnError | kDsrSensitivity | kNull), 0u);
    EXPECT_EQ(dcb.flags & (kBinary | kTxContinueOnXoff), kBinary | kTxContinueOnXoff);
    if (c.xonXoff) {
      EXPECT_EQ(dcb.xonChar, 0x11);
      EXPECT_EQ(dcb.xoffChar, 0x13);
    }
  }
}

}  // namespace
}  // namespace qlmkv
