#include "app/values.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/messages.h"

namespace stampwise {
namespace {

using ::testing::ElementsAreArray;

ParameterSet Params(DataFormat format, int length, bool msbFirst) {
  ParameterSet params;
  params.format = format;
  params.lengthBytes = length;
  params.msbFirst = msbFirst;
  return params;
}

struct ToBytesCase {
  const char* name;
  DataFormat format;
  int length;
  bool msbFirst;
  bool leadingZeros;
  const char* text;
  Bytes expected;
};

class TextToBytesTest : public ::testing::TestWithParam<ToBytesCase> {};

TEST_P(TextToBytesTest, GivesTheTagLayout) {
  const ToBytesCase& c = GetParam();
  ParameterSet params = Params(c.format, c.length, c.msbFirst);
  params.leadingZeros = c.leadingZeros;
  const BytesResult result = TextToBytes(c.text, params);
  ASSERT_TRUE(result.ok) << result.message.text;
  EXPECT_THAT(result.bytes, ElementsAreArray(c.expected));
}

using F = DataFormat;
INSTANTIATE_TEST_SUITE_P(
    AllFormatsBothOrders, TextToBytesTest,
    ::testing::Values(
        ToBytesCase{"HexBinMsb", F::HexBinary, 4, true, false, "1234", {0x00, 0x00, 0x12, 0x34}},
        ToBytesCase{"HexBinLsb", F::HexBinary, 4, false, false, "1234", {0x34, 0x12, 0x00, 0x00}},
        ToBytesCase{"HexBinShort", F::HexBinary, 4, true, false, "1F", {0x00, 0x00, 0x00, 0x1F}},
        ToBytesCase{"HexBinLowerCase", F::HexBinary, 2, true, false, "abcd", {0xAB, 0xCD}},
        ToBytesCase{"HexBinTooLongCut", F::HexBinary, 2, true, false, "123456", {0x12, 0x34}},
        ToBytesCase{"HexAsciiMsb", F::HexAscii, 4, true, false, "1234", {0x31, 0x32, 0x33, 0x34}},
        ToBytesCase{"HexAsciiLsb", F::HexAscii, 4, false, false, "1234", {0x34, 0x33, 0x32, 0x31}},
        ToBytesCase{"HexAsciiFillLsb", F::HexAscii, 4, false, false, "ABC", {0x00, 0x43, 0x42, 0x41}},
        ToBytesCase{"HexAsciiFillMsb", F::HexAscii, 4, true, false, "ABC", {0x41, 0x42, 0x43, 0x00}},
        ToBytesCase{"DecAsciiZeros", F::DecimalAscii, 4, true, true, "7", {0x30, 0x30, 0x30, 0x37}},
        ToBytesCase{"DecAsciiCut", F::DecimalAscii, 2, true, false, "123", {0x31, 0x32}},
        ToBytesCase{"DataAsciiMsb", F::DataAscii, 3, true, false, "ab", {0x61, 0x62, 0x00}},
        ToBytesCase{"DataAsciiLsb", F::DataAscii, 3, false, false, "ab", {0x00, 0x62, 0x61}},
        ToBytesCase{"DecBinMsb", F::DecimalBinary, 4, true, false, "1234", {0x00, 0x00, 0x04, 0xD2}},
        ToBytesCase{"DecBinLsb", F::DecimalBinary, 4, false, false, "1234", {0xD2, 0x04, 0x00, 0x00}},
        ToBytesCase{"DecBinMaxTwoBytes", F::DecimalBinary, 2, true, false, "65535", {0xFF, 0xFF}},
        ToBytesCase{"DecBinStopsAtNonDigit", F::DecimalBinary, 1, true, false, "12x9", {0x0C}},
        ToBytesCase{"DecBinEightBytes", F::DecimalBinary, 8, true, false, "9223372036854775807",
                    {0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        ToBytesCase{"DataBinLsb", F::DataBinary, 4, false, false, "12 34", {0x12, 0x34, 0x00, 0x00}},
        ToBytesCase{"DataBinMsb", F::DataBinary, 4, true, false, "12 34", {0x00, 0x00, 0x34, 0x12}},
        ToBytesCase{"DataBinRunsOfBlanks", F::DataBinary, 3, false, false, "01   0203", {0x01, 0x02, 0x03}},
        ToBytesCase{"DataBinLeadingBlank", F::DataBinary, 2, false, false, " 1", {0xF1, 0x00}},
        ToBytesCase{"DataBinOddTail", F::DataBinary, 2, false, false, "12 3", {0x12, 0xFF}},
        ToBytesCase{"DataBinStopsAtLength", F::DataBinary, 1, false, false, "AA BB", {0xAA}}),
    [](const auto& test) { return std::string(test.param.name); });

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
  const BytesResult result = TextToBytes(c.text, Params(c.format, c.length, true));
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(result.bytes.empty());
  EXPECT_EQ(result.message.id, c.messageId);
  EXPECT_FALSE(result.message.text.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Failures, TextToBytesFailureTest,
    ::testing::Values(
        FailureCase{"Empty", F::HexBinary, 4, "", msg::kNoData},
        FailureCase{"EmptyAscii", F::DataAscii, 4, "", msg::kNoData},
        FailureCase{"DecimalOverEight", F::DecimalBinary, 9, "1", msg::kDecimalOver8Bytes},
        FailureCase{"DecimalTooLarge", F::DecimalBinary, 2, "65536", msg::kByteCountTooSmall},
        // 2^56 rounds onto 2^56 - 1 as a double; it must not be written as zeros.
        FailureCase{"DecimalJustTooLarge", F::DecimalBinary, 7, "72057594037927936",
                    msg::kByteCountTooSmall},
        FailureCase{"DecimalBeyond64Bits", F::DecimalBinary, 8, "99999999999999999999",
                    msg::kByteCountTooSmall},
        FailureCase{"ZeroLength", F::HexAscii, 0, "1", msg::kEnterIntegerBetween},
        FailureCase{"NegativeLength", F::DataBinary, -5, "1", msg::kEnterIntegerBetween},
        FailureCase{"HugeLength", F::DecimalAscii, 2000000000, "1", msg::kEnterIntegerBetween}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(TextToBytesTest, RangeMessageNamesTheLimits) {
  const BytesResult result = TextToBytes("1", Params(F::HexAscii, 0, true));
  EXPECT_EQ(result.message.text, "Geben Sie eine ganze Zahl zwischen 1 und 1023 ein.");
}

struct ToTextCase {
  const char* name;
  DataFormat format;
  int length;
  bool msbFirst;
  Bytes bytes;
  const char* expected;
};

class BytesToTextTest : public ::testing::TestWithParam<ToTextCase> {};

TEST_P(BytesToTextTest, RendersInTheFormat) {
  const ToTextCase& c = GetParam();
  const TextResult result = BytesToText(c.bytes, Params(c.format, c.length, c.msbFirst));
  EXPECT_FALSE(result.hasMessage);
  EXPECT_EQ(result.text, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    AllFormatsBothOrders, BytesToTextTest,
    ::testing::Values(
        ToTextCase{"HexBinMsb", F::HexBinary, 2, true, {0x0A, 0xBC}, "0ABC"},
        ToTextCase{"HexBinLsb", F::HexBinary, 2, false, {0x0A, 0xBC}, "BC0A"},
        ToTextCase{"HexBinExtended", F::HexBinary, 3, true, {0x01}, "010000"},
        ToTextCase{"HexBinCut", F::HexBinary, 1, true, {0x01, 0x02}, "01"},
        ToTextCase{"AsciiMsb", F::HexAscii, 4, true, {0x41, 0x42, 0x00, 0x43}, "AB"},
        ToTextCase{"AsciiLsb", F::DecimalAscii, 4, false, {0x00, 0x33, 0x32, 0x31}, "123"},
        ToTextCase{"AsciiLimitedToLength", F::DataAscii, 2, true, {0x61, 0x62, 0x63}, "ab"},
        ToTextCase{"DecBinMsb", F::DecimalBinary, 4, true, {0x00, 0x00, 0x04, 0xD2}, "1234"},
        ToTextCase{"DecBinLsb", F::DecimalBinary, 4, false, {0xD2, 0x04, 0x00, 0x00}, "1234"},
        ToTextCase{"DecBinNotSignExtended", F::DecimalBinary, 2, true, {0xFF, 0xFF}, "65535"},
        ToTextCase{"DecBinNegative", F::DecimalBinary, 8, true,
                   {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "-1"},
        ToTextCase{"DataBinLsb", F::DataBinary, 3, false, {0x01, 0x02, 0x03}, "01 02 03"},
        ToTextCase{"DataBinMsb", F::DataBinary, 3, true, {0x01, 0x02, 0x03}, "03 02 01"},
        ToTextCase{"DataBinExtended", F::DataBinary, 3, false, {0xAB}, "AB 00 00"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(BytesToTextTest, DecimalOverEightBytesGivesMessageAndEmptyText) {
  const Bytes bytes(9, 0x01);
  const TextResult result = BytesToText(bytes, Params(F::DecimalBinary, 9, true));
  EXPECT_TRUE(result.hasMessage);
  EXPECT_EQ(result.message.id, msg::kDecimalOver8Bytes);
  EXPECT_EQ(result.text, "");
}

struct RoundTripCase {
  DataFormat format;
  int length;
  const char* text;
};

class RoundTripTest : public ::testing::TestWithParam<std::tuple<RoundTripCase, bool>> {};

TEST_P(RoundTripTest, TextSurvivesBytesAndBack) {
  const auto& [c, msbFirst] = GetParam();
  const ParameterSet params = Params(c.format, c.length, msbFirst);
  const BytesResult bytes = TextToBytes(c.text, params);
  ASSERT_TRUE(bytes.ok);
  ASSERT_EQ(bytes.bytes.size(), static_cast<std::size_t>(c.length));
  EXPECT_EQ(BytesToText(bytes.bytes, params).text, c.text);
}

INSTANTIATE_TEST_SUITE_P(
    AllFormats, RoundTripTest,
    ::testing::Combine(::testing::Values(RoundTripCase{F::HexBinary, 4, "0012AB34"},
                                         RoundTripCase{F::HexAscii, 4, "12AB"},
                                         RoundTripCase{F::DecimalBinary, 3, "16777215"},
                                         RoundTripCase{F::DecimalBinary, 8, "9223372036854775807"},
                                         RoundTripCase{F::DecimalAscii, 6, "123456"},
                                         RoundTripCase{F::DataBinary, 4, "DE AD BE EF"},
                                         RoundTripCase{F::DataAscii, 5, "Hallo"}),
                       ::testing::Bool()));

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
  ParameterSet params = Params(c.from, c.length, c.fromMsb);
  params.value = c.text;
  const FormatSwitchResult result = SwitchFormat(params, c.text, c.to, c.toMsb);
  EXPECT_TRUE(result.valueReexpressed);
  EXPECT_EQ(result.params.format, c.to);
  EXPECT_EQ(result.params.msbFirst, c.toMsb);
  EXPECT_EQ(result.params.value, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, SwitchFormatTest,
    ::testing::Values(
        SwitchCase{"HexBinToAsciiMsb", F::HexBinary, true, 2, "4142", F::HexAscii, true, "AB"},
        SwitchCase{"HexBinToAsciiLsb", F::HexBinary, false, 2, "4142", F::HexAscii, false, "AB"},
        SwitchCase{"MsbToggleAscii", F::HexAscii, true, 4, "ABCD", F::HexAscii, false, "DCBA"},
        SwitchCase{"MsbToggleHexBin", F::HexBinary, true, 2, "1234", F::HexBinary, false, "3412"},
        SwitchCase{"DecBinToHexBin", F::DecimalBinary, true, 2, "258", F::HexBinary, true, "0102"},
        SwitchCase{"DecBinTooLarge", F::DecimalBinary, true, 1, "256", F::HexBinary, true, "00"},
        SwitchCase{"HexBinToDataBin", F::HexBinary, true, 3, "010203", F::DataBinary, true,
                   "03 02 01"},
        SwitchCase{"DataBinToDecBin", F::DataBinary, false, 2, "01 02", F::DecimalBinary, false,
                   "513"},
        // Into "Daten ASCII" the bytes are reversed when the new MSB flag is on.
        SwitchCase{"AsciiToDataAsciiMsb", F::HexAscii, true, 2, "AB", F::DataAscii, true, "BA"},
        SwitchCase{"AsciiToDataAsciiLsb", F::HexAscii, true, 2, "AB", F::DataAscii, false, "AB"},
        SwitchCase{"HexBinToDataAsciiMsb", F::HexBinary, true, 2, "4142", F::DataAscii, true,
                   "BA"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(SwitchFormatTest, UnchangedFormatKeepsValueAndSetsLimit) {
  ParameterSet params = Params(F::DataBinary, 5, true);
  params.value = "01 02";
  const FormatSwitchResult result = SwitchFormat(params, "garbage", F::DataBinary, true);
  EXPECT_FALSE(result.valueReexpressed);
  EXPECT_EQ(result.params.value, "01 02");
  EXPECT_EQ(result.textLimit, 15);
}

TEST(SwitchFormatTest, EmptyHexBinaryValueReportsNoData) {
  ParameterSet params = Params(F::HexBinary, 2, true);
  const FormatSwitchResult result = SwitchFormat(params, "", F::HexAscii, true);
  ASSERT_EQ(result.messages.size(), 1u);
  EXPECT_EQ(result.messages[0].id, msg::kNoData);
  EXPECT_EQ(result.params.value, "");
}

TEST(SwitchFormatTest, DecimalOverEightRendersEmptyWithMessage) {
  ParameterSet params = Params(F::HexBinary, 9, true);
  const FormatSwitchResult result = SwitchFormat(params, "01", F::DecimalBinary, true);
  ASSERT_EQ(result.messages.size(), 1u);
  EXPECT_EQ(result.messages[0].id, msg::kDecimalOver8Bytes);
  EXPECT_EQ(result.params.value, "");
}

struct RulesCase {
  const char* name;
  DataFormat format;
  bool dec, hex, zeros, text;
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
    ::testing::Values(
        RulesCase{"HexBinKeepsBoth", F::HexBinary, true, true, true, true, true, true, true, false},
        RulesCase{"HexAsciiMovesDec", F::HexAscii, true, false, true, true, false, true, true, true},
        RulesCase{"DecBinMovesHex", F::DecimalBinary, false, true, false, true, true, false, false,
                  false},
        RulesCase{"DecAsciiMovesHex", F::DecimalAscii, false, true, true, true, true, false, true,
                  true},
        RulesCase{"DataClearsAll", F::DataBinary, true, true, true, true, false, false, false, false},
        RulesCase{"DataAsciiClearsAll", F::DataAscii, true, false, true, true, false, false, false,
                  false}),
    [](const auto& test) { return std::string(test.param.name); });

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
  ParameterSet params = Params(c.format, c.length, true);
  params.leadingZeros = c.leadingZeros;
  params.value = c.text;
  EXPECT_EQ(NormaliseLeadingZeros(params), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, NormaliseTest,
    ::testing::Values(NormaliseCase{"StripDecimal", F::DecimalAscii, 6, false, "000100", "100"},
                      NormaliseCase{"StripAllZeros", F::DecimalAscii, 6, false, "000", "0"},
                      NormaliseCase{"StripEmpty", F::HexAscii, 4, false, "", "0"},
                      NormaliseCase{"PadHex", F::HexAscii, 4, true, "1F", "001F"},
                      NormaliseCase{"CutThenPad", F::DecimalAscii, 3, true, "12345", "123"},
                      NormaliseCase{"CutThenStrip", F::DecimalAscii, 3, false, "00123", "1"},
                      NormaliseCase{"OtherFormatUntouched", F::HexBinary, 2, false, "0001", "0001"},
                      NormaliseCase{"BadLengthUntouched", F::DecimalAscii, 0, true, "12", "12"}),
    [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace stampwise
