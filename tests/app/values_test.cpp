#include "app/values/values.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/texts/messages.h"

namespace stampwise {
namespace {

using ::testing::ElementsAreArray;
using F = DataFormat;

ParameterSet Params(DataFormat format, int length, bool msbFirst, std::string value = "") {
  ParameterSet params;
  params.format = format;
  params.lengthBytes = length;
  params.msbFirst = msbFirst;
  params.value = std::move(value);
  return params;
}

auto CaseName = [](const auto& test) { return std::string(test.param.name); };

// Text and tag layout; `back` is what the layout reads as (nullptr: the text).
struct LayoutCase {
  const char* name;
  DataFormat format;
  int length;
  bool msbFirst;
  const char* text;
  Bytes bytes;
  const char* back;
};

class LayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutTest, TextToBytesAndBack) {
  const LayoutCase& c = GetParam();
  const ParameterSet params = Params(c.format, c.length, c.msbFirst);
  const Result<Bytes> written = TextToBytes(c.text, params);
  ASSERT_TRUE(written.ok()) << written.message().text;
  EXPECT_THAT(written.value(), ElementsAreArray(c.bytes));
  const Result<std::string> read = BytesToText(c.bytes, params);
  ASSERT_TRUE(read.ok()) << read.message().text;
  EXPECT_EQ(read.value(), c.back ? c.back : c.text);
}

INSTANTIATE_TEST_SUITE_P(
    AllFormatsBothOrders, LayoutTest,
    ::testing::Values(LayoutCase{"HexBinMsb", F::HexBinary, 4, true, "1234", {0, 0, 0x12, 0x34}, "00001234"},
                      LayoutCase{"HexBinLsb", F::HexBinary, 4, false, "1234", {0x34, 0x12, 0, 0}, "00001234"},
                      LayoutCase{"HexBinShort", F::HexBinary, 4, true, "1F", {0, 0, 0, 0x1F}, "0000001F"},
                      LayoutCase{"HexBinLowerCase", F::HexBinary, 2, true, "abcd", {0xAB, 0xCD}, "ABCD"},
                      LayoutCase{"HexAsciiMsb", F::HexAscii, 4, true, "1234", {0x31, 0x32, 0x33, 0x34}, nullptr},
                      LayoutCase{"HexAsciiLsb", F::HexAscii, 4, false, "1234", {0x34, 0x33, 0x32, 0x31}, nullptr},
                      LayoutCase{"HexAsciiFillLsb", F::HexAscii, 4, false, "ABC", {0, 0x43, 0x42, 0x41}, nullptr},
                      LayoutCase{"DataAsciiMsb", F::DataAscii, 3, true, "ab", {0x61, 0x62, 0}, nullptr},
                      LayoutCase{"DataAsciiLsb", F::DataAscii, 3, false, "ab", {0, 0x62, 0x61}, nullptr},
                      LayoutCase{"DecBinMsb", F::DecimalBinary, 4, true, "1234", {0, 0, 0x04, 0xD2}, nullptr},
                      LayoutCase{"DecBinLsb", F::DecimalBinary, 4, false, "1234", {0xD2, 0x04, 0, 0}, nullptr},
                      LayoutCase{"DecBinMaxTwoBytes", F::DecimalBinary, 2, true, "65535", {0xFF, 0xFF}, nullptr},
                      LayoutCase{"DecBinStopsAtNonDigit", F::DecimalBinary, 1, true, "12x9", {0x0C}, "12"},
                      LayoutCase{"DecBinEightBytes",
                                 F::DecimalBinary,
                                 8,
                                 true,
                                 "9223372036854775807",
                                 {0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
                                 nullptr},
                      LayoutCase{"DataBinLsb", F::DataBinary, 4, false, "12 34", {0x12, 0x34, 0, 0}, "12 34 00 00"},
                      LayoutCase{"DataBinMsb", F::DataBinary, 4, true, "12 34", {0, 0, 0x34, 0x12}, "12 34 00 00"},
                      LayoutCase{"DataBinBlanks", F::DataBinary, 3, false, "01   0203", {1, 2, 3}, "01 02 03"},
                      LayoutCase{"DataBinLeadingBlank", F::DataBinary, 2, false, " 1", {0xF1, 0}, "F1 00"},
                      LayoutCase{"DataBinOddTail", F::DataBinary, 2, false, "12 3", {0x12, 0xFF}, "12 FF"},
                      LayoutCase{"DataBinTrailingBlanks", F::DataBinary, 1, false, "AA  ", {0xAA}, "AA"}),
    CaseName);

struct FailureCase {
  const char* name;
  DataFormat format;
  int length;
  const char* text;
  int messageId;
};

class TextToBytesFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(TextToBytesFailureTest, FailsWithItsMessage) {
  const FailureCase& c = GetParam();
  const Result<Bytes> result = TextToBytes(c.text, Params(c.format, c.length, true));
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.message().id, c.messageId);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, TextToBytesFailureTest,
    ::testing::Values(FailureCase{"Empty", F::HexBinary, 4, "", msg::kNoData},
                      FailureCase{"DecimalOverEight", F::DecimalBinary, 9, "1", msg::kDecimalOver8Bytes},
                      FailureCase{"DecimalTooLarge", F::DecimalBinary, 2, "65536", msg::kByteCountTooSmall},
                      // 2^56 equals 2^56 - 1 as a double; it must not be written as zeros.
                      FailureCase{"DecimalJustTooLarge", F::DecimalBinary, 7, "72057594037927936",
                                  msg::kByteCountTooSmall},
                      FailureCase{"Beyond64Bits", F::DecimalBinary, 8, "99999999999999999999", msg::kByteCountTooSmall},
                      FailureCase{"ZeroLength", F::HexAscii, 0, "1", msg::kEnterIntegerBetween},
                      // More characters than the format writes: refused, never written cut.
                      FailureCase{"HexBinTooLong", F::HexBinary, 2, "123456", msg::kEnterAtMostChars},
                      FailureCase{"HexAsciiTooLong", F::HexAscii, 2, "ABC", msg::kEnterAtMostChars},
                      FailureCase{"DecAsciiTooLong", F::DecimalAscii, 2, "123", msg::kEnterAtMostChars},
                      FailureCase{"DataAsciiTooLong", F::DataAscii, 3, "abcd", msg::kEnterAtMostChars},
                      FailureCase{"DataBinBeyondLength", F::DataBinary, 1, "AA BB", msg::kTooMuchData},
                      FailureCase{"HugeLength", F::DecimalAscii, 2000000000, "1", msg::kEnterIntegerBetween}),
    CaseName);

TEST(BytesToTextTest, DecimalOverEightBytesGivesMessageAndNoText) {
  const Result<std::string> result = BytesToText(Bytes(9, 1), Params(F::DecimalBinary, 9, true));
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.message().id, msg::kDecimalOver8Bytes);
  EXPECT_EQ(BytesToText(Bytes{0xFF, 0xFF}, Params(F::DecimalBinary, 2, true)).value(), "65535");
}

struct SwitchCase {
  const char* name;
  DataFormat from;
  bool fromMsb;
  int length;
  const char* text;
  DataFormat to;
  bool toMsb;
  const char* expected;
};

class SwitchFormatTest : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(SwitchFormatTest, ReexpressesTheValue) {
  const SwitchCase& c = GetParam();
  const FormatSwitchResult result = SwitchFormat(Params(c.from, c.length, c.fromMsb, c.text), c.text, c.to, c.toMsb);
  EXPECT_TRUE(result.valueReexpressed);
  EXPECT_EQ(result.params.format, c.to);
  EXPECT_EQ(result.params.msbFirst, c.toMsb);
  EXPECT_EQ(result.params.value, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, SwitchFormatTest,
    ::testing::Values(SwitchCase{"HexBinToAsciiMsb", F::HexBinary, true, 2, "4142", F::HexAscii, true, "AB"},
                      SwitchCase{"HexBinToAsciiLsb", F::HexBinary, false, 2, "4142", F::HexAscii, false, "AB"},
                      SwitchCase{"MsbToggleAscii", F::HexAscii, true, 4, "ABCD", F::HexAscii, false, "DCBA"},
                      SwitchCase{"DecBinToHexBin", F::DecimalBinary, true, 2, "258", F::HexBinary, true, "0102"},
                      SwitchCase{"DecBinTooLarge", F::DecimalBinary, true, 1, "256", F::HexBinary, true, "00"},
                      SwitchCase{"HexBinToDataBin", F::HexBinary, true, 3, "010203", F::DataBinary, true, "03 02 01"},
                      SwitchCase{"DataBinToDecBin", F::DataBinary, false, 2, "01 02", F::DecimalBinary, false, "513"},
                      // Into "Daten ASCII" the bytes are reversed when the new MSB flag is on.
                      SwitchCase{"IntoDataAsciiMsb", F::HexAscii, true, 2, "AB", F::DataAscii, true, "BA"},
                      SwitchCase{"IntoDataAsciiLsb", F::HexAscii, true, 2, "AB", F::DataAscii, false, "AB"}),
    CaseName);

TEST(SwitchFormatTest, UnchangedFormatKeepsValueAndSetsLimit) {
  const FormatSwitchResult result = SwitchFormat(Params(F::DataBinary, 5, true, "01 02"), "other", F::DataBinary, true);
  EXPECT_FALSE(result.valueReexpressed);
  EXPECT_EQ(result.params.value, "01 02");
  EXPECT_EQ(result.textLimit, 15);
}

TEST(SwitchFormatTest, ConversionMessagesAreReported) {
  FormatSwitchResult result = SwitchFormat(Params(F::HexBinary, 2, true), "", F::HexAscii, true);
  ASSERT_EQ(result.messages.size(), 1u);
  EXPECT_EQ(result.messages[0].id, msg::kNoData);
  result = SwitchFormat(Params(F::HexBinary, 9, true), "01", F::DecimalBinary, true);
  ASSERT_EQ(result.messages.size(), 1u);
  EXPECT_EQ(result.messages[0].id, msg::kDecimalOver8Bytes);
  EXPECT_EQ(result.params.value, "");
}

struct RulesCase {
  const char* name;
  DataFormat format;
  bool dec, hex, zeros, text;  // before
  bool wantDec, wantHex, wantZeros, wantText;
};

class FormatRulesTest : public ::testing::TestWithParam<RulesCase> {};

TEST_P(FormatRulesTest, AdjustsTheCheckBoxes) {
  const RulesCase& c = GetParam();
  ParameterSet params = Params(c.format, 4, true);
  params.autoIncrementDec = c.dec;
  params.autoIncrementHex = c.hex;
  params.leadingZeros = c.zeros;
  params.additionalText = c.text;
  const ParameterSet result = ApplyFormatRules(params);
  EXPECT_EQ(result.autoIncrementDec, c.wantDec);
  EXPECT_EQ(result.autoIncrementHex, c.wantHex);
  EXPECT_EQ(result.leadingZeros, c.wantZeros);
  EXPECT_EQ(result.additionalText, c.wantText);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, FormatRulesTest,
    ::testing::Values(RulesCase{"HexBinKeepsBoth", F::HexBinary, true, true, true, true, true, true, true, false},
                      RulesCase{"HexAsciiMovesDec", F::HexAscii, true, false, true, true, false, true, true, true},
                      RulesCase{"DecBinMovesHex", F::DecimalBinary, false, true, false, true, true, false, false,
                                false},
                      RulesCase{"DataClearsAll", F::DataAscii, true, true, true, true, false, false, false, false}),
    CaseName);

struct NormaliseCase {
  const char* name;
  DataFormat format;
  int length;
  bool leadingZeros;
  const char* text;
  const char* expected;
};

class NormaliseTest : public ::testing::TestWithParam<NormaliseCase> {};

TEST_P(NormaliseTest, PadsOrStrips) {
  const NormaliseCase& c = GetParam();
  ParameterSet params = Params(c.format, c.length, true, c.text);
  params.leadingZeros = c.leadingZeros;
  EXPECT_EQ(NormaliseLeadingZeros(params), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Formats, NormaliseTest,
                         ::testing::Values(NormaliseCase{"Strip", F::DecimalAscii, 6, false, "000100", "100"},
                                           NormaliseCase{"StripAllZeros", F::DecimalAscii, 6, false, "000", "0"},
                                           NormaliseCase{"PadHex", F::HexAscii, 4, true, "1F", "001F"},
                                           // An over-long value is never cut; the write refuses it.
                                           NormaliseCase{"OverLongStripsOnly", F::DecimalAscii, 3, false, "00123",
                                                         "123"},
                                           NormaliseCase{"OverLongNotCut", F::HexAscii, 2, true, "ABC", "ABC"},
                                           NormaliseCase{"OtherFormat", F::HexBinary, 2, false, "0001", "0001"},
                                           NormaliseCase{"BadLength", F::DecimalAscii, 0, true, "12", "12"}),
                         CaseName);

}  // namespace
}  // namespace stampwise
