#include "app/values/enabling.h"

#include <gtest/gtest.h>

namespace stampwise {
namespace {

using F = DataFormat;

struct EnablingCase {
  const char* name;
  DataFormat format;
  Cycle cycle;
  ControlId controlId;
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
        EnablingCase{"DecIncHexBin", F::HexBinary, Cycle::None, ControlId::kAutoIncrementDec, true, true},
        EnablingCase{"DecIncHexAscii", F::HexAscii, Cycle::None, ControlId::kAutoIncrementDec, false, true},
        EnablingCase{"DecIncData", F::DataAscii, Cycle::None, ControlId::kAutoIncrementDec, false, true},
        EnablingCase{"HexIncHexAscii", F::HexAscii, Cycle::None, ControlId::kAutoIncrementHex, true, true},
        EnablingCase{"HexIncDecBin", F::DecimalBinary, Cycle::None, ControlId::kAutoIncrementHex, false, true},
        EnablingCase{"ZerosHexBin", F::HexBinary, Cycle::None, ControlId::kLeadingZeros, false, true},
        EnablingCase{"ZerosDecAscii", F::DecimalAscii, Cycle::None, ControlId::kLeadingZeros, true, true},
        EnablingCase{"TextDecBin", F::DecimalBinary, Cycle::None, ControlId::kAdditionalText, false, true},
        EnablingCase{"TextStaysInCycle", F::DecimalAscii, Cycle::Write, ControlId::kAdditionalText, true, true},
        EnablingCase{"ZerosOffInCycle", F::DecimalAscii, Cycle::Write, ControlId::kLeadingZeros, false, true},
        EnablingCase{"RadioOffInCycle", F::HexBinary, Cycle::Read, ControlId::kFormatDataAscii, false, true},
        EnablingCase{"MsbAlways", F::HexBinary, Cycle::Write, ControlId::kMsbFirst, true, true},
        EnablingCase{"BankLockedInWriteCycle", F::HexBinary, Cycle::Write, ControlId::kBank, false, true},
        EnablingCase{"BankInReadCycle", F::HexBinary, Cycle::Read, ControlId::kBank, true, true},
        EnablingCase{"BankIdle", F::HexBinary, Cycle::None, ControlId::kBank, true, true},
        EnablingCase{"EpcFixInCycle", F::HexBinary, Cycle::Read, ControlId::kEpcLengthFix, false, true},
        EnablingCase{"OwnCycleButton", F::HexBinary, Cycle::Write, ControlId::kWriteCycle, true, true},
        EnablingCase{"OtherCycleButton", F::HexBinary, Cycle::Write, ControlId::kReadCycle, false, true},
        EnablingCase{"PasswordInCycle", F::HexBinary, Cycle::Write, ControlId::kAccessPassword, false, true},
        EnablingCase{"MultiLineHidden", F::DecimalAscii, Cycle::None, ControlId::kValueMultiLine, true, false},
        EnablingCase{"SingleLineHidden", F::DataBinary, Cycle::None, ControlId::kValueSingleLine, true, false},
        EnablingCase{"MultiLineRead", F::DataAscii, Cycle::None, ControlId::kReadMultiLine, true, true}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(EnablingTest, PasswordAndEpcControlsFollowTheirOptions) {
  ParameterSet params;
  params.bank = Bank::User;
  const ControlStates states = ComputeControlStates(params, WriteOptions{}, Cycle::None);
  EXPECT_FALSE(states.at(ControlId::kAccessPassword).visible);
  EXPECT_FALSE(states.at(ControlId::kActivatePassword).enabled);
  EXPECT_FALSE(states.at(ControlId::kEpcLengthFix).enabled);
  EXPECT_TRUE(states.at(FormatRadioId(F::HexBinary)).checked);
  EXPECT_FALSE(states.at(FormatRadioId(F::HexAscii)).checked);
}

}  // namespace
}  // namespace stampwise
