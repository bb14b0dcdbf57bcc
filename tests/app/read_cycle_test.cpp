// The read cycle through the real SDK against mkv-sim.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "tests/app/cycle_fixture.h"

namespace stampwise::testing {
namespace {

using ::testing::ElementsAre;

class ReadCycleTest : public CycleTest {
 protected:
  // Writes `bytes` to User word 0 of the only tag and sets up a read of them.
  void PrepareTag(const std::vector<std::uint8_t>& bytes, DataFormat format) {
    unsigned char reply[100] = {};
    const int n = RdrInventory(handle_, 1, reply, sizeof reply);
    ASSERT_GE(n, 3);
    ASSERT_EQ(RdrSelectTag(handle_, reply + 3, n - 3), 0);
    ASSERT_EQ(RdrWriteData(handle_, 3, 0, bytes.data(), static_cast<int>(bytes.size())), 0);
    Change([&](WriterConfig& config) {
      ParameterSet& p = config.params;
      p = ParameterSet{};
      p.bank = Bank::User;
      p.format = format;
      p.lengthBytes = static_cast<int>(bytes.size());
    });
  }
};

// A tag resting on the reader is read and logged once; what the field shows
// once it is taken away depends on "letzten Wert beibehalten".
struct KeepCase {
  const char* name;
  bool keepLast;
  const char* fieldAfterRemoval;
};

class ReadKeepTest : public ReadCycleTest, public ::testing::WithParamInterface<KeepCase> {};

TEST_P(ReadKeepTest, FieldFollowsTheKeepRule) {
  const KeepCase& c = GetParam();
  StartReader();
  PrepareTag({0x12, 0x34, 0xAB, 0xCD}, DataFormat::HexBinary);
  Change([&](WriterConfig& config) {
    config.keepLastValue = c.keepLast;
    config.logs.readLogEnabled = true;
  });

  ASSERT_TRUE(writer_->StartCycle(Cycle::Read));
  for (int i = 0; i < 3; ++i) {
    writer_->Tick(Cycle::Read);
    EXPECT_EQ(frontEnd_.readField, "1234ABCD") << "tick " << i;
  }
  EXPECT_EQ(writer_->ReadCount(), 1);
  ASSERT_EQ(Control("remove all"), "OK");
  writer_->Tick(Cycle::Read);
  EXPECT_EQ(frontEnd_.readField, c.fieldAfterRemoval);
  writer_->Tick(Cycle::Read);
  EXPECT_EQ(frontEnd_.readField, c.fieldAfterRemoval);
  writer_->StopCycle();

  const std::string log = ReadFile(folder_.File("read.txt"));
  EXPECT_TRUE(std::regex_match(log, std::regex("     1\t[^\t]+\tHEX BIN\t   0\t   4\t1234ABCD\r\r\n"))) << log;
  EXPECT_TRUE(frontEnd_.statusLines.empty()) << ::testing::PrintToString(frontEnd_.statusLines);
}

INSTANTIATE_TEST_SUITE_P(Cycles, ReadKeepTest,
                         ::testing::Values(KeepCase{"Cleared", false, ""}, KeepCase{"Kept", true, "1234ABCD"}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

// Reading once with no tag clears the field whatever the box says.
class ReadOnceNoTagTest : public ReadCycleTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ReadOnceNoTagTest, ClearsTheField) {
  StartReader();
  PrepareTag({0x01, 0x02}, DataFormat::HexBinary);
  Change([this](WriterConfig& config) { config.keepLastValue = GetParam(); });
  ASSERT_TRUE(writer_->ReadOnce());
  EXPECT_EQ(frontEnd_.readField, "0102");
  ASSERT_EQ(Control("remove all"), "OK");
  EXPECT_FALSE(writer_->ReadOnce());
  EXPECT_EQ(frontEnd_.readField, "");
}

INSTANTIATE_TEST_SUITE_P(Cycles, ReadOnceNoTagTest, ::testing::Values(false, true),
                         [](const auto& testCase) { return testCase.param ? "KeepChecked" : "KeepUnchecked"; });

// A read that fails on the tag: keep rule again, and the error is shown once per run.
TEST_F(ReadCycleTest, AFailedReadFollowsTheKeepRuleAndShowsItsErrorOnce) {
  StartReader({"--tags", "1"});
  PrepareTag({0x01, 0x02, 0x03, 0x04}, DataFormat::HexBinary);
  Change([](WriterConfig& config) { config.keepLastValue = true; });
  ASSERT_TRUE(writer_->StartCycle(Cycle::Read));
  writer_->Tick(Cycle::Read);
  EXPECT_EQ(frontEnd_.readField, "01020304");
  // The next tag has its User bank read beyond its end.
  ASSERT_EQ(Control("remove all"), "OK");
  ASSERT_THAT(Control("add"), ::testing::StartsWith("OK"));
  Change([](WriterConfig& config) { config.params.startWord = 31; });
  writer_->Tick(Cycle::Read);
  writer_->Tick(Cycle::Read);
  EXPECT_EQ(frontEnd_.readField, "01020304");
  EXPECT_THAT(frontEnd_.statusLines, ElementsAre(LoadString(msg::kNoValidTag)));
  Change([](WriterConfig& config) { config.keepLastValue = false; });
  writer_->Tick(Cycle::Read);
  EXPECT_EQ(frontEnd_.readField, "");
  writer_->StopCycle();
}

// Data in format 4 shows its bytes in the order the byte-order box asks for.
class ReadByteOrderTest : public ReadCycleTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ReadByteOrderTest, DataBinaryFollowsTheByteOrder) {
  StartReader();
  PrepareTag({0x01, 0x02, 0x03, 0x00}, DataFormat::DataBinary);
  Change([this](WriterConfig& config) {
    config.params.lengthBytes = 3;
    config.params.msbFirst = GetParam();
  });
  ASSERT_TRUE(writer_->ReadOnce());
  EXPECT_EQ(frontEnd_.readField, GetParam() ? "03 02 01" : "01 02 03");
}

INSTANTIATE_TEST_SUITE_P(Cycles, ReadByteOrderTest, ::testing::Values(false, true),
                         [](const auto& testCase) { return testCase.param ? "MsbFirst" : "LsbFirst"; });

}  // namespace
}  // namespace stampwise::testing
