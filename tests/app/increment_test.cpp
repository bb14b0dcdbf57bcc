#include "app/increment.h"

#include <gtest/gtest.h>

namespace stampwise {
namespace {

using F = DataFormat;

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
  ParameterSet params;
  params.format = c.format;
  params.lengthBytes = c.length;
  params.autoIncrementHex = c.hex;
  params.autoIncrementDec = !c.hex;
  params.leadingZeros = c.leadingZeros;
  params.additionalText = c.additionalText;
  params.value = c.value;
  EXPECT_EQ(IncrementValue(params), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    AllFormats, IncrementTest,
    ::testing::Values(
        IncrementCase{"Hex00FF", F::HexBinary, 2, true, false, false, "00FF", "0100"},
        IncrementCase{"HexWrapFFFF", F::HexBinary, 2, true, false, false, "FFFF", "0000"},
        IncrementCase{"HexGrowFFF", F::HexBinary, 2, true, false, false, "FFF", "1000"},
        IncrementCase{"HexWrapOneByte", F::HexBinary, 1, true, false, false, "FF", "00"},
        IncrementCase{"HexLowerCaseRebuilt", F::HexBinary, 2, true, false, false, "ab0f", "AB10"},
        IncrementCase{"DecimalOnHex", F::HexBinary, 2, false, false, false, "0009", "0010"},
        IncrementCase{"DecimalOverLetter", F::HexBinary, 2, false, false, false, "0A9", "100"},
        IncrementCase{"EmptyUnchanged", F::HexBinary, 2, true, false, false, "", ""},
        IncrementCase{"AsciiPrefix", F::HexAscii, 7, true, false, true, "SN-0A9F", "SN-0AA0"},
        // Free text inside the number has the value 255: a carry turns it into 0.
        IncrementCase{"AsciiInnerTextCarries", F::HexAscii, 6, true, false, true, "1F-FF", "20000"},
        IncrementCase{"AsciiInnerTextUntouched", F::HexAscii, 6, true, false, true, "1F-FE", "1F-FF"},
        IncrementCase{"AsciiNoDigitsUnchanged", F::HexAscii, 6, true, false, true, "XYZ", "XYZ"},
        // One character per byte in format 1: no room for a new digit, so wrap.
        IncrementCase{"AsciiWrapsAtLength", F::HexAscii, 4, true, false, false, "FFFF", "0000"},
        IncrementCase{"AsciiGrowsWithinLength", F::HexAscii, 4, true, false, false, "FFF", "1000"},
        IncrementCase{"DecBin", F::DecimalBinary, 2, false, false, false, "0099", "100"},
        IncrementCase{"DecBinBeyond64Bits", F::DecimalBinary, 8, false, false, false,
                      "9223372036854775807", "9223372036854775808"},
        IncrementCase{"DecAsciiZeros", F::DecimalAscii, 6, false, true, false, "000099", "000100"},
        IncrementCase{"DecAsciiTextZeros", F::DecimalAscii, 9, false, true, true, "ABC0099XY", "ABC0100XY"},
        IncrementCase{"DecAsciiNoDigits", F::DecimalAscii, 4, false, false, true, "ABC", "1ABC"},
        IncrementCase{"DecAsciiHexFlag", F::DecimalAscii, 4, true, false, false, "19", "20"},
        // The next number would be cut to its leftmost L characters on the tag.
        IncrementCase{"DecAsciiWrapsAtLength", F::DecimalAscii, 3, false, false, false, "999", "0"},
        IncrementCase{"DecAsciiZerosWrap", F::DecimalAscii, 3, false, true, false, "999", "000"},
        IncrementCase{"DataUnchanged", F::DataBinary, 2, true, false, false, "01 FF", "01 FF"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(IncrementTest, HugeValueGrowsByAtMostOneCharacter) {
  ParameterSet params;
  params.lengthBytes = 1 << 30;
  params.value = std::string(100000, 'F');
  EXPECT_EQ(IncrementValue(params).size(), params.value.size() + 1);
  params.format = F::DecimalAscii;
  params.leadingZeros = params.additionalText = true;
  EXPECT_LE(IncrementValue(params).size(), params.value.size() + 1);
}

}  // namespace
}  // namespace stampwise
