// qlmkv_sdk.dll under Wine, through rdr.h only. with_sim.sh runs the round
// trips against the Linux mkv-sim: over a COM port that Wine maps to the
// simulator's pseudo-terminal, and over TCP to its loopback port.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "reader/rdr.h"

namespace {

constexpr int kBank = 3;     // user memory
constexpr int kValues = 20;  // tags written in a row, each with its own value
constexpr int kWords = 2;

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string Hex(const unsigned char* data, int size) {
  std::string text;
  char digits[3];
  for (int i = 0; i < size; ++i) {
    std::snprintf(digits, sizeof digits, "%02X", data[i]);
    text += digits;
  }
  return text;
}

struct Link {
  const char* name;
  const char* variable;  // names the connection string
  unsigned char mark;    // first byte of every value, so the two links never share one
};

class SdkUnderWine : public ::testing::TestWithParam<Link> {
 protected:
  void SetUp() override {
    connection_ = Environment(GetParam().variable);
    if (connection_.empty()) GTEST_SKIP() << GetParam().variable << " is not set: run through with_sim.sh";
    handle_ = RdrOpen(connection_.c_str(), 19200, 0, 1000);
    ASSERT_GT(handle_, 0) << "RdrOpen(" << connection_ << ")";
  }
  void TearDown() override {
    if (handle_ > 0) {
      EXPECT_EQ(RdrClose(handle_), 0);
    }
  }

  std::string connection_;
  int handle_ = 0;
};

TEST_P(SdkUnderWine, IdentifiesTheReaderAndWritesEveryValueOnce) {
  unsigned char version[8] = {};
  char model[32] = {};
  ASSERT_EQ(RdrGetVersion(handle_, version, sizeof version, model, sizeof model), 4);
  EXPECT_STREQ(model, "QL-MKV39");
  EXPECT_EQ(RdrIsUsb(handle_), 0);

  std::multiset<std::string> written;
  for (int i = 0; i < kValues; ++i) {
    unsigned char inventory[100] = {};
    const int length = RdrInventory(handle_, 1, inventory, sizeof inventory);
    ASSERT_GE(length, 3 + 12) << "tag " << i;
    ASSERT_EQ(inventory[0], 1);
    ASSERT_EQ(RdrSelectTag(handle_, inventory + 3, length - 3), 0);

    const unsigned char value[2 * kWords] = {GetParam().mark, 0x57, static_cast<unsigned char>(i >> 8),
                                             static_cast<unsigned char>(i)};
    ASSERT_EQ(RdrWriteData(handle_, kBank, 0, value, sizeof value), 0) << "error " << RdrGetLastError(handle_);
    unsigned char back[sizeof value] = {};
    ASSERT_EQ(RdrReadData(handle_, kBank, 0, back, sizeof back), static_cast<int>(sizeof back));
    EXPECT_EQ(Hex(back, sizeof back), Hex(value, sizeof value));
    written.insert(Hex(value, sizeof value));
  }

  // What reached the tag, as the simulator recorded it: every value once.
  std::ifstream record(Environment("QLMKV_SIM_RECORD"));
  ASSERT_TRUE(record) << "no record file";
  std::multiset<std::string> recorded;
  for (std::string line; std::getline(record, line);) {
    const std::size_t data = line.find("data=");
    ASSERT_NE(line.find("bank=3 word=0"), std::string::npos) << line;
    ASSERT_NE(data, std::string::npos) << line;
    recorded.insert(line.substr(data + 5));
  }
  EXPECT_EQ(recorded, written);
}

INSTANTIATE_TEST_SUITE_P(RoundTrip, SdkUnderWine,
                         ::testing::Values(Link{"Com", "QLMKV_SIM_COM", 0xC0}, Link{"Tcp", "QLMKV_SIM_TCP", 0x7C}),
                         [](const ::testing::TestParamInfo<Link>& link) { return std::string(link.param.name); });

// with_sim.sh ends the simulator after the first write (QLMKV_SIM_HANGUP_AFTER=1),
// as when a reader is unplugged: the link's worker must neither hang nor spin,
// every exchange from then on fails with the reply time-out, and the close
// returns.
class SdkReaderGone : public SdkUnderWine {};

TEST_P(SdkReaderGone, FailsEveryExchangeOnceTheReaderIsGone) {
  unsigned char inventory[100] = {};
  const int length = RdrInventory(handle_, 1, inventory, sizeof inventory);
  ASSERT_GE(length, 3 + 12);
  ASSERT_EQ(RdrSelectTag(handle_, inventory + 3, length - 3), 0);
  const unsigned char value[4] = {GetParam().mark, 0x60, 0x00, 0x01};
  ASSERT_EQ(RdrWriteData(handle_, kBank, 0, value, sizeof value), 0);

  // The simulator ends soon after the write; until then the reader answers.
  unsigned char version[8] = {};
  char model[32] = {};
  int answered = 0;
  while (answered < 10000 && RdrGetVersion(handle_, version, sizeof version, model, sizeof model) == 4) ++answered;
  ASSERT_LT(answered, 10000) << "the reader kept answering";
  EXPECT_EQ(RdrGetLastError(handle_), RDR_ERR_TIMEOUT);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(RdrGetVersion(handle_, version, sizeof version, model, sizeof model), -1);
    EXPECT_EQ(RdrGetLastError(handle_), RDR_ERR_TIMEOUT);
  }
}

INSTANTIATE_TEST_SUITE_P(Hangup, SdkReaderGone,
                         ::testing::Values(Link{"Com", "QLMKV_SIM_COM", 0xC0}, Link{"Tcp", "QLMKV_SIM_TCP", 0x7C}),
                         [](const ::testing::TestParamInfo<Link>& link) { return std::string(link.param.name); });

// The port list names the COM port Wine maps to the simulator.
TEST(SdkWithMappedPort, ListsTheMappedComPort) {
  const std::string port = Environment("QLMKV_SIM_COM");
  if (port.empty()) GTEST_SKIP() << "QLMKV_SIM_COM is not set: run through with_sim.sh";
  std::vector<char> buffer(4096);
  const int used = RdrListSerialPorts(buffer.data(), static_cast<int>(buffer.size()));
  ASSERT_GT(used, 0);
  std::vector<std::string> names;
  for (std::size_t at = 0; at < static_cast<std::size_t>(used) && buffer[at] != '\0';) {
    names.emplace_back(&buffer[at]);
    at += names.back().size() + 1;
  }
  EXPECT_NE(std::find(names.begin(), names.end(), "\\\\.\\" + port), names.end()) << "listed: " << names.size();
}

// Wine hands out COM numbers for the host's serial devices from COM1 on;
// none reaches this one.
TEST(SdkWithoutReader, ACOMPortThatDoesNotExistFailsWithTheDeviceAndTheReason) {
  EXPECT_EQ(RdrOpen("COM231", 19200, 0, 200), RDR_OPEN_FAILED);
  char device[64] = {};
  char reason[256] = {};
  ASSERT_EQ(RdrGetOpenFailure(device, sizeof device, reason, sizeof reason), 1);
  EXPECT_STREQ(device, "\\\\.\\COM231");
  EXPECT_STRNE(reason, "");
}

// Nothing listens on the loopback port 1 of this host: the connect is refused.
TEST(SdkWithoutReader, ALanAddressWithoutAReaderDoesNotOpen) {
  EXPECT_EQ(RdrOpen("127.0.0.1-1", 19200, 0, 200), RDR_OPEN_FAILED);
}

TEST(SdkWithoutReader, ListsAndChecksWithoutDevices) {
  char ports[4096] = {};
  EXPECT_GE(RdrListSerialPorts(ports, sizeof ports), 0);
  char usb[1024] = {};
  EXPECT_GE(RdrListUsbDevices(usb, sizeof usb), 0);
  EXPECT_EQ(RdrCheckDrivers(), 0);
  EXPECT_GT(RdrGetLibraryVersion(), 0);
}

}  // namespace
