#include "app/values/increment.h"

#include <gtest/gtest.h>

namespace stampwise {
namespace {

using F = DataFormat;

// A counting parameter set: hex or decimal increment, and the two text boxes.
ParameterSet Counting(DataFormat format, int length, bool hex, bool leadingZeros, bool additionalText,
                      const char* value) {
  ParameterSet params;
  params.format = format;
  params.lengthBytes = length;
  params.autoIncrementHex = hex;
  params.autoIncrementDec = !hex;
  params.leadingZeros = leadingZeros;
  params.additionalText = additionalText;
  params.value = value;
  return params;
}

struct IncrementCase {
  const char* name;
  DataFormat format;
  int length;
  bool hex, leadingZeros, additionalText;  // the three check boxes
  const char* value;
  const char* expected;
};

class IncrementTest : public ::testing::TestWithParam<IncrementCase> {};

TEST_P(IncrementTest, GivesTheNextValue) {
  const IncrementCase& c = GetParam();
  EXPECT_EQ(IncrementValue(Counting(c.format, c.length, c.hex, c.leadingZeros, c.additionalText, c.value)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    AllFormats, IncrementTest,
    ::testing::Values(IncrementCase{"Hex00FF", F::HexBinary, 2, true, false, false, "00FF", "0100"},
                      IncrementCase{"HexPastFFFF", F::HexBinary, 2, true, false, false, "FFFF", "10000"},
                      IncrementCase{"HexGrowFFF", F::HexBinary, 2, true, false, false, "FFF", "1000"},
                      IncrementCase{"HexPastOneByte", F::HexBinary, 1, true, false, false, "FF", "100"},
                      IncrementCase{"HexLowerCaseRebuilt", F::HexBinary, 2, true, false, false, "ab0f", "AB10"},
                      IncrementCase{"DecimalOnHex", F::HexBinary, 2, false, false, false, "0009", "0010"},
                      IncrementCase{"DecimalOverLetter", F::HexBinary, 2, false, false, false, "0A9", "100"},
                      IncrementCase{"EmptyUnchanged", F::HexBinary, 2, true, false, false, "", ""},
                      IncrementCase{"AsciiPrefix", F::HexAscii, 7, true, false, true, "SN-0A9F", "SN-0AA0"},
                      // Free text inside the number has the value 255: a carry turns it into 0.
                      IncrementCase{"AsciiInnerTextCarries", F::HexAscii, 6, true, false, true, "1F-FF", "20000"},
                      IncrementCase{"AsciiInnerTextUntouched", F::HexAscii, 6, true, false, true, "1F-FE", "1F-FF"},
                      IncrementCase{"AsciiNoDigitsUnchanged", F::HexAscii, 6, true, false, true, "XYZ", "XYZ"},
                      // One character per byte in format 1: no room for a new digit, so the
                      // counter runs out instead of wrapping to a value written before.
                      IncrementCase{"AsciiPastLength", F::HexAscii, 4, true, false, false, "FFFF", "10000"},
                      IncrementCase{"AsciiGrowsWithinLength", F::HexAscii, 4, true, false, false, "FFF", "1000"},
                      IncrementCase{"DecBin", F::DecimalBinary, 2, false, false, false, "0099", "100"},
                      IncrementCase{"DecBinBeyond64Bits", F::DecimalBinary, 8, false, false, false,
                                    "9223372036854775807", "9223372036854775808"},
                      IncrementCase{"DecAsciiZeros", F::DecimalAscii, 6, false, true, false, "000099", "000100"},
                      IncrementCase{"DecAsciiTextZeros", F::DecimalAscii, 9, false, true, true, "ABC0099XY",
                                    "ABC0100XY"},
                      IncrementCase{"DecAsciiNoDigits", F::DecimalAscii, 4, false, false, true, "ABC", "1ABC"},
                      IncrementCase{"DecAsciiHexFlag", F::DecimalAscii, 4, true, false, false, "19", "20"},
                      // No wrap to 0 when the digits run out: one past the range.
                      IncrementCase{"DecAsciiPastLength", F::DecimalAscii, 3, false, false, false, "999", "1000"},
                      IncrementCase{"DecAsciiZerosPastLength", F::DecimalAscii, 3, false, true, false, "999", "1000"},
                      IncrementCase{"DataUnchanged", F::DataBinary, 2, true, false, false, "01 FF", "01 FF"}),
    [](const auto& test) { return std::string(test.param.name); });

// The value after the last one that fits is recognised as a used-up counter;
// the last fitting value itself and values that merely look alike are not.
// A counter: its format, length, increment, text box and value.
struct CounterSpec {
  DataFormat format;
  int length;
  bool hex, additionalText;
  const char* value;

  ParameterSet Params() const { return Counting(format, length, hex, false, additionalText, value); }
};

struct ExhaustedCase {
  const char* name;
  CounterSpec counter;
  bool exhausted;
};

class CounterExhaustedTest : public ::testing::TestWithParam<ExhaustedCase> {};

TEST_P(CounterExhaustedTest, KnowsTheEndOfTheRange) {
  const ExhaustedCase& c = GetParam();
  ParameterSet params = c.counter.Params();
  EXPECT_EQ(CounterExhausted(params), c.exhausted);
  if (c.exhausted) {
    // What the increment gives after the last value that fits.
    params.autoIncrementDec = params.autoIncrementHex = false;
    EXPECT_FALSE(CounterExhausted(params)) << "no increment, no counter";
  }
}

INSTANTIATE_TEST_SUITE_P(
    AllFormats, CounterExhaustedTest,
    ::testing::Values(ExhaustedCase{"HexLastFits", F::HexBinary, 4, true, false, "FFFFFFFF", false},
                      ExhaustedCase{"HexOnePast", F::HexBinary, 4, true, false, "100000000", true},
                      ExhaustedCase{"HexShortNumber", F::HexBinary, 4, true, false, "10000000", false},
                      ExhaustedCase{"HexAsciiOnePast", F::HexAscii, 4, true, false, "10000", true},
                      ExhaustedCase{"HexAsciiWithText", F::HexAscii, 7, true, true, "SN-10000", true},
                      ExhaustedCase{"HexAsciiOtherText", F::HexAscii, 7, true, true, "SN-10001", false},
                      ExhaustedCase{"DecAsciiLastFits", F::DecimalAscii, 8, false, false, "99999999", false},
                      ExhaustedCase{"DecAsciiOnePast", F::DecimalAscii, 8, false, false, "100000000", true},
                      ExhaustedCase{"DecBinLastFits", F::DecimalBinary, 2, false, false, "65535", false},
                      ExhaustedCase{"DecBinOnePast", F::DecimalBinary, 2, false, false, "65536", true},
                      ExhaustedCase{"DecBinPast64Bits", F::DecimalBinary, 8, false, false, "9223372036854775808", true},
                      ExhaustedCase{"DataNeverCounts", F::DataAscii, 2, true, false, "100", false}),
    [](const auto& test) { return std::string(test.param.name); });

// Counting on from the last value that fits gives an exhausted counter, in
// every format that counts.
TEST(IncrementTest, TheStepPastTheLastValueIsExhausted) {
  struct Last {
    DataFormat format;
    int length;
    bool hex;
    const char* value;
  };
  for (const Last& last : {Last{F::HexBinary, 4, true, "FFFFFFFF"}, Last{F::HexBinary, 2, false, "9999"},
                           Last{F::HexAscii, 3, true, "FFF"}, Last{F::DecimalAscii, 8, false, "99999999"},
                           Last{F::DecimalBinary, 1, false, "255"}}) {
    ParameterSet params;
    params.format = last.format;
    params.lengthBytes = last.length;
    params.autoIncrementHex = last.hex;
    params.autoIncrementDec = !last.hex;
    params.value = last.value;
    ASSERT_FALSE(CounterExhausted(params)) << last.value;
    params.value = IncrementValue(params);
    EXPECT_TRUE(CounterExhausted(params)) << last.value << " -> " << params.value;
  }
}

TEST(IncrementTest, HugeValueGrowsByAtMostOneCharacter) {
  ParameterSet params;
  params.lengthBytes = 1 << 30;
  params.value = std::string(100000, 'F');
  EXPECT_EQ(IncrementValue(params).size(), params.value.size() + 1);
  params.format = F::DecimalAscii;
  params.leadingZeros = params.additionalText = true;
  EXPECT_LE(IncrementValue(params).size(), params.value.size() + 1);
}

struct ValuesLeftCase {
  const char* name;
  CounterSpec counter;
  const char* left;
};

class ValuesLeftTest : public ::testing::TestWithParam<ValuesLeftCase> {};

// Where the range is small, the count is checked against the increment itself:
// that many values are written before the counter has run out.
TEST_P(ValuesLeftTest, CountsTheValuesBeforeTheCounterEnds) {
  const ValuesLeftCase& c = GetParam();
  ParameterSet params = c.counter.Params();
  EXPECT_EQ(ValuesLeft(params), std::optional<std::string>(c.left));
  if (std::string(c.left).size() > 2) return;
  int steps = 0;
  for (; !CounterExhausted(params) && steps < 100; ++steps) params.value = IncrementValue(params);
  EXPECT_EQ(std::to_string(steps), c.left) << "ended at " << params.value;
}

INSTANTIATE_TEST_SUITE_P(
    AllFormats, ValuesLeftTest,
    ::testing::Values(ValuesLeftCase{"HexOneByte", F::HexBinary, 1, true, false, "F0", "16"},
                      ValuesLeftCase{"HexCountedInTens", F::HexBinary, 1, false, false, "95", "5"},
                      ValuesLeftCase{"HexDigitAboveTheBase", F::HexBinary, 1, false, false, "9A", "1"},
                      ValuesLeftCase{"HexAscii", F::HexAscii, 3, true, false, "FFD", "3"},
                      ValuesLeftCase{"HexAsciiWithText", F::HexAscii, 5, true, true, "SN-F8", "8"},
                      ValuesLeftCase{"DecimalOneByte", F::DecimalBinary, 1, false, false, "250", "6"},
                      ValuesLeftCase{"DecimalAscii", F::DecimalAscii, 3, false, false, "995", "5"},
                      ValuesLeftCase{"DecimalAsciiWithText", F::DecimalAscii, 6, false, true, "Lot 97", "3"},
                      ValuesLeftCase{"AtTheEnd", F::DecimalBinary, 1, false, false, "256", "0"},
                      ValuesLeftCase{"FourHexBytes", F::HexBinary, 4, true, false, "FF", "4294967041"},
                      ValuesLeftCase{"EightDecimalBytes", F::DecimalBinary, 8, false, false, "0",
                                     "9223372036854775808"},
                      ValuesLeftCase{"SixteenHexBytes", F::HexBinary, 16, true, false, "0",
                                     "340282366920938463463374607431768211456"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(ValuesLeft, NothingWhereTheValueDoesNotCount) {
  ParameterSet params;
  params.autoIncrementDec = params.autoIncrementHex = false;
  EXPECT_EQ(ValuesLeft(params), std::nullopt);
  params.autoIncrementHex = true;
  params.format = DataFormat::DataAscii;
  EXPECT_EQ(ValuesLeft(params), std::nullopt);
  params.format = DataFormat::HexBinary;
  params.lengthBytes = 0;
  EXPECT_EQ(ValuesLeft(params), std::nullopt);
}

}  // namespace
}  // namespace stampwise
