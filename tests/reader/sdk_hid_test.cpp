// The reader SDK over HID links: the shared library's C interface against the
// fake hidapi library, whose devices are simulated readers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "protocol/frame.h"
#include "reader/rdr.h"
#include "tests/fakes/fake_hid.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using qlmkv::test::FakeHid;

constexpr char kTwoReaders[] = "1C40:05AB:17050001:9:9,1C40:05AD:17050002:9:9";

std::vector<std::string> UsbDevices() {
  std::vector<char> buffer(256);
  const int used = RdrListUsbDevices(buffer.data(), static_cast<int>(buffer.size()));
  std::vector<std::string> names;
  for (std::size_t at = 0; at < static_cast<std::size_t>(used) && buffer[at] != '\0';) {
    names.emplace_back(&buffer[at]);
    at += names.back().size() + 1;
  }
  return names;
}

// hidraw's form of input reports of `length` bytes with the id byte: count,
// payload, zero padding.
std::vector<Bytes> AsInputReports(const Bytes& bytes, std::size_t length) {
  std::vector<Bytes> reports;
  const std::size_t chunk = length - 2;
  for (std::size_t at = 0; at < bytes.size(); at += chunk) {
    const std::size_t n = std::min(chunk, bytes.size() - at);
    Bytes report(length - 1, 0);
    report[0] = static_cast<std::uint8_t>(n);
    std::copy_n(bytes.begin() + static_cast<long>(at), n, report.begin() + 1);
    reports.push_back(report);
  }
  return reports;
}

class SdkOverHid : public ::testing::Test {
 protected:
  void Attach(const std::string& devices) {
    fake_.reset();  // before the next one sets the environment
    fake_ = std::make_unique<FakeHid>(devices);
  }
  void Open(const std::string& name = "17050001 HID", int timeoutMs = 300) {
    handle_ = RdrOpen(name.c_str(), 19200, 0, timeoutMs);
    ASSERT_GT(handle_, 0);
  }
  void TearDown() override {
    if (handle_ > 0) RdrClose(handle_);
  }
  std::unique_ptr<FakeHid> fake_ = std::make_unique<FakeHid>(kTwoReaders);
  int handle_ = 0;
};

TEST_F(SdkOverHid, HandlesStartAt10001AndAreReused) {
  const int a = RdrOpen("17050001 HID", 19200, 0, 300);
  const int b = RdrOpen("17050002 HID:1", 19200, 0, 300);
  EXPECT_EQ(a, 10001);
  EXPECT_EQ(b, 10002);
  EXPECT_EQ(RdrIsUsb(a), 1);
  EXPECT_EQ(RdrClose(a), 0);
  EXPECT_EQ(RdrGetLastError(a), RDR_ERR_NOT_OPEN);
  EXPECT_EQ(fake_->OpenHandles(0), 0);
  const int again = RdrOpen("17050001 HID", 19200, 0, 300);
  EXPECT_EQ(again, 10001);
  RdrClose(again);
  RdrClose(b);
  EXPECT_EQ(RdrOpen("17050003 HID", 19200, 0, 300), RDR_OPEN_FAILED);
}

TEST_F(SdkOverHid, TheUsbListKeepsOnlyTheReaderSeries) {
  Attach(
      "1C40:05AB:17050001:9:9,1C40:05AD:16990001:9:9,1C40:05AB::9:9,1C40:05AC:17050009:9:9,"
      "16C0:2913:17090003:65:65,1C40:05AE:17100001:9:9");
  EXPECT_EQ(UsbDevices(), (std::vector<std::string>{"17050001 HID", "17090003 HID"}));
}

TEST_F(SdkOverHid, WritesReadsAndLocksATag) {
  for (const char* lengths : {"9:9", "65:65"}) {
    SCOPED_TRACE(lengths);
    Attach(std::string("1C40:05AB:17050001:") + lengths);
    Open();
    unsigned char version[8] = {};
    char model[32] = {};
    ASSERT_EQ(RdrGetVersion(handle_, version, sizeof version, model, sizeof model), 4);
    EXPECT_STREQ(model, "QL-MKV39");

    unsigned char inventory[100] = {};
    const int length = RdrInventory(handle_, 1, inventory, sizeof inventory);
    ASSERT_GE(length, 3 + 12);
    ASSERT_EQ(RdrSelectTag(handle_, inventory + 3, length - 3), 0);
    const unsigned char data[8] = {0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x02, 0x03, 0x04};
    ASSERT_EQ(RdrWriteData(handle_, 3, 0, data, 8), 0);
    unsigned char back[8] = {};
    ASSERT_EQ(RdrReadData(handle_, 3, 0, back, 8), 8);
    EXPECT_EQ(Bytes(back, back + 8), Bytes(data, data + 8));

    const unsigned char password[4] = {0x3C, 0x5A, 0x9E, 0x71};
    ASSERT_EQ(RdrWriteData(handle_, 0, 2, password, 4), 0);
    ASSERT_EQ(RdrLock(handle_, 4, 2, password), 0);
    EXPECT_EQ(RdrWriteData(handle_, 3, 0, data, 2), -1) << "the user bank is closed without the password";
    EXPECT_EQ(RdrWriteDataPw(handle_, 3, 0, password, data, 2), 0);
    EXPECT_EQ(RdrSwitchUsbMode(handle_, 2), 0);
    RdrClose(handle_);
    handle_ = 0;
  }
}

// Whatever the device sends, the exchange ends with a code of its own.
TEST_F(SdkOverHid, BadReportsEndInAnErrorCode) {
  const Bytes reply = qlmkv::frame::Build(0, 1, 0x00, Bytes{'3', '1', '2', '5'});
  ASSERT_EQ(reply.size(), 9u);
  Bytes badChecksum = reply;
  badChecksum.back() ^= 0x5A;
  struct Case {
    const char* name;
    std::vector<Bytes> answer;
    int result;
    int lastError;
  };
  const Case cases[] = {
      {"well formed", AsInputReports(reply, 9), 4, 0},
      {"count beyond what arrived",
       {{200, reply[0], reply[1], reply[2], reply[3], reply[4], reply[5], reply[6]},
        {2, reply[7], reply[8], 0, 0, 0, 0, 0}},
       4,
       0},
      {"count beyond the padding",
       {{7, reply[0], reply[1], reply[2], reply[3], reply[4], reply[5], reply[6]},
        {255, reply[7], reply[8], 0, 0, 0, 0, 0}},
       -1,
       RDR_ERR_CHECKSUM},
      {"reports shorter than announced",
       {{7, reply[0], reply[1], reply[2], reply[3], reply[4], reply[5]}},
       -1,
       RDR_ERR_TIMEOUT},
      {"bad checksum", AsInputReports(badChecksum, 9), -1, RDR_ERR_CHECKSUM},
      {"no start byte", {{7, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF, 0xB0}}, -1, RDR_ERR_TIMEOUT},
      {"empty reports", {{0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0}}, -1, RDR_ERR_TIMEOUT},
      {"no reports", {}, -1, RDR_ERR_TIMEOUT},
  };
  Open("17050001 HID", 100);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.answer.empty()) fake_->Silence(0, true);
    fake_->AnswerWith(0, c.answer);
    unsigned char version[8] = {};
    EXPECT_EQ(RdrGetVersion(handle_, version, sizeof version, nullptr, 0), c.result);
    if (c.result < 0) {
      EXPECT_EQ(RdrGetLastError(handle_), c.lastError);
    }
    fake_->Silence(0, false);
    // The next exchange is not disturbed by what came before.
    EXPECT_EQ(RdrGetVersion(handle_, version, sizeof version, nullptr, 0), 4);
  }
}

// A report that arrives between exchanges is not the next reply.
TEST_F(SdkOverHid, InputBetweenExchangesIsDropped) {
  Open();
  const Bytes stray = qlmkv::frame::Build(0, 1, 0x00, Bytes{'9', '9', '9', '9'});
  for (const Bytes& report : AsInputReports(stray, 9)) fake_->Inject(0, report);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let the reader thread take it
  unsigned char version[8] = {};
  ASSERT_EQ(RdrGetVersion(handle_, version, sizeof version, nullptr, 0), 4);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(version), 4), "3125");
}

TEST_F(SdkOverHid, AnUnpluggedReaderEndsTheExchangeAtOnce) {
  // A long reply time-out: only the lost link can end the wait early.
  Open("17050001 HID", 30000);
  fake_->Silence(0, true);
  auto exchange = std::async(std::launch::async, [this] {
    unsigned char version[8] = {};
    return RdrGetVersion(handle_, version, sizeof version, nullptr, 0);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  fake_->Unplug(0);
  ASSERT_EQ(exchange.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "the exchange hangs";
  EXPECT_EQ(exchange.get(), -1);
  EXPECT_EQ(RdrGetLastError(handle_), RDR_ERR_TIMEOUT);
  unsigned char version[8] = {};
  EXPECT_EQ(RdrGetVersion(handle_, version, sizeof version, nullptr, 0), -1);
  EXPECT_EQ(RdrGetLastError(handle_), RDR_ERR_TIMEOUT);
  EXPECT_EQ(fake_->OpenHandles(0), 0) << "the device is let go at once";
  EXPECT_EQ(RdrClose(handle_), 0);
  handle_ = 0;
  EXPECT_TRUE(UsbDevices() == std::vector<std::string>{"17050002 HID"});
}

// The library is loaded once per process, so each case runs in a fresh one.
TEST(SdkWithoutHid, NoLibraryOrAMissingEntryPointFailsOnlyHid) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const char* library : {"/nonexistent/libhidapi-hidraw.so.0", QLMKV_FAKE_HIDAPI_PARTIAL}) {
    SCOPED_TRACE(library);
    EXPECT_EXIT(
        {
          FakeHid fake(kTwoReaders, library);
          const bool none = UsbDevices().empty() && RdrOpen("17050001 HID", 19200, 0, 100) == RDR_OPEN_FAILED;
          std::exit(none ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
  }
}

}  // namespace
