#include "app/enabling.h"

#include <gtest/gtest.h>

namespace stampwise {
namespace {

using F = DataFormat;

struct EnablingCase {
  const char* name;
  DataFormat format;
  Cycle cycle;
  int controlId;
  bool enabled;
  bool visible;
};

class EnablingTest : public ::testing::TestWithParam<EnablingCase> {};

TEST_P(EnablingTest, FollowsFormatAndCycle) {
  const EnablingCase& c = GetParam();
  ParameterSet params;
  params.format = c.format;
  params.bank = Bank::Epc;
  WriteOptions options;
  options.setPassword = true;
  const ControlStates states = ComputeControlStates(params, options, c.cycle);
  ASSERT_TRUE(states.count(c.controlId));
  EXPECT_EQ(states.at(c.controlId).enabled, c.enabled);
  EXPECT_EQ(states.at(c.controlId).visible, c.visible);
}

INSTANTIATE_TEST_SUITE_P(
    Controls, EnablingTest,
    ::testing::Values(
        EnablingCase{"DecIncHexBin", F::HexBinary, Cycle::None, ctl::kAutoIncrementDec, true, true},
        EnablingCase{"DecIncHexAscii", F::HexAscii, Cycle::None, ctl::kAutoIncrementDec, false, true},
        EnablingCase{"DecIncData", F::DataAscii, Cycle::None, ctl::kAutoIncrementDec, false, true},
        EnablingCase{"HexIncHexAscii", F::HexAscii, Cycle::None, ctl::kAutoIncrementHex, true, true},
        EnablingCase{"HexIncDecBin", F::DecimalBinary, Cycle::None, ctl::kAutoIncrementHex, false, true},
        EnablingCase{"ZerosHexBin", F::HexBinary, Cycle::None, ctl::kLeadingZeros, false, true},
        EnablingCase{"ZerosDecAscii", F::DecimalAscii, Cycle::None, ctl::kLeadingZeros, true, true},
        EnablingCase{"TextDecBin", F::DecimalBinary, Cycle::None, ctl::kAdditionalText, false, true},
        EnablingCase{"TextStaysInCycle", F::DecimalAscii, Cycle::Write, ctl::kAdditionalText, true, true},
        EnablingCase{"ZerosOffInCycle", F::DecimalAscii, Cycle::Write, ctl::kLeadingZeros, false, true},
        EnablingCase{"RadioOffInCycle", F::HexBinary, Cycle::Read, ctl::kFormatDataAscii, false, true},
        EnablingCase{"MsbAlways", F::HexBinary, Cycle::Write, ctl::kMsbFirst, true, true},
        EnablingCase{"EpcFixInCycle", F::HexBinary, Cycle::Read, ctl::kEpcLengthFix, false, true},
        EnablingCase{"OwnCycleButton", F::HexBinary, Cycle::Write, ctl::kWriteCycle, true, true},
        EnablingCase{"OtherCycleButton", F::HexBinary, Cycle::Write, ctl::kReadCycle, false, true},
        EnablingCase{"PasswordInCycle", F::HexBinary, Cycle::Write, ctl::kAccessPassword, false, true},
        EnablingCase{"MultiLineHidden", F::DecimalAscii, Cycle::None, ctl::kValueMultiLine, true, false},
        EnablingCase{"SingleLineHidden", F::DataBinary, Cycle::None, ctl::kValueSingleLine, true, false},
        EnablingCase{"MultiLineRead", F::DataAscii, Cycle::None, ctl::kReadMultiLine, true, true}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(EnablingTest, PasswordAndEpcControlsFollowTheirOptions) {
  ParameterSet params;
  params.bank = Bank::User;
  const ControlStates states = ComputeControlStates(params, WriteOptions{}, Cycle::None);
  EXPECT_FALSE(states.at(ctl::kAccessPassword).visible);
  EXPECT_FALSE(states.at(ctl::kActivatePassword).enabled);
  EXPECT_FALSE(states.at(ctl::kEpcLengthFix).enabled);
  EXPECT_TRUE(states.at(FormatRadioId(F::HexBinary)).checked);
  EXPECT_FALSE(states.at(FormatRadioId(F::HexAscii)).checked);
}

}  // namespace
}  // namespace stampwise
