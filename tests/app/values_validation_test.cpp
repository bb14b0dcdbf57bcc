#include "app/values/values_validation.h"

#include <gtest/gtest.h>

#include "app/texts/messages.h"
#include "app/values/enabling.h"

namespace stampwise {
namespace {

using F = DataFormat;
constexpr int kValue = ctl::kValueSingleLine;
constexpr int kMulti = ctl::kValueMultiLine;

struct ValidationCase {
  const char* name;
  DataFormat format;
  bool additionalText;
  const char* startWord;
  const char* length;
  const char* value;
  int messageId;  // 0: valid
  int controlId;  // the field that gets the focus
};

class ValidationTest : public ::testing::TestWithParam<ValidationCase> {};

TEST_P(ValidationTest, ChecksInOrder) {
  const ValidationCase& c = GetParam();
  ParameterSet params;
  params.format = c.format;
  params.additionalText = c.additionalText;
  const Result<ValidControls> result = ValidateControls({c.startWord, c.length, c.value, ""}, params, false);
  EXPECT_EQ(result.ok(), c.messageId == 0) << result.message().text;
  EXPECT_EQ(result.message().id, c.messageId);
  EXPECT_EQ(result.message().controlId, c.controlId);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ValidationTest,
    ::testing::Values(
        ValidationCase{"Valid", F::HexBinary, false, " 2 ", "+4", "12AB", 0, 0},
        ValidationCase{"StartNotNumber", F::HexBinary, false, "x", "4", "1", msg::kEnterInteger, ctl::kStartWord},
        ValidationCase{"StartBeforeLength", F::HexBinary, false, "", "", "1", msg::kEnterInteger, ctl::kStartWord},
        ValidationCase{"StartTooLarge", F::HexBinary, false, "1025", "4", "1", msg::kEnterIntegerBetween,
                       ctl::kStartWord},
        ValidationCase{"LengthOverflow", F::HexBinary, false, "0", "99999999999", "1", msg::kEnterInteger,
                       ctl::kLengthBytes},
        ValidationCase{"LengthZero", F::HexAscii, false, "0", "0", "1", msg::kEnterIntegerBetween, ctl::kLengthBytes},
        ValidationCase{"DecAsciiHugeLength", F::DecimalAscii, false, "0", "100000", "1", msg::kEnterIntegerBetween,
                       ctl::kLengthBytes},
        ValidationCase{"HexBinNotHex", F::HexBinary, false, "0", "2", "12G4", msg::kNoHexInput, kValue},
        ValidationCase{"HexAsciiTooLong", F::HexAscii, true, "0", "2", "ABC", msg::kEnterAtMostChars, kValue},
        ValidationCase{"HexAsciiNotHex", F::HexAscii, false, "0", "4", "SN-1", msg::kNoHexInput, kValue},
        ValidationCase{"HexAsciiFreeText", F::HexAscii, true, "0", "4", "SN-1", 0, 0},
        ValidationCase{"DecBinNotDecimal", F::DecimalBinary, false, "0", "4", "12A", msg::kNoDecimalInput, kValue},
        ValidationCase{"DecAsciiNotDecimal", F::DecimalAscii, false, "0", "4", "-1", msg::kNoDecimalInput, kValue},
        ValidationCase{"DecAsciiFreeText", F::DecimalAscii, true, "0", "25", "Nr. 123456789012345678901", 0, 0},
        // One character is one byte: what does not fit would be written cut.
        ValidationCase{"DecAsciiFreeTextTooLong", F::DecimalAscii, true, "0", "4", "Nr. 1", msg::kEnterAtMostChars,
                       kValue},
        ValidationCase{"DecAsciiDigitsTooLong", F::DecimalAscii, false, "0", "4", "12345", msg::kEnterAtMostChars,
                       kValue},
        ValidationCase{"DataBinNotHex", F::DataBinary, false, "0", "2", "01\r\n02", msg::kNoHexInput, kMulti},
        ValidationCase{"DataBinTooMuchData", F::DataBinary, false, "0", "2", "010203", msg::kTooMuchData, kMulti},
        ValidationCase{"DataBinOddCountFits", F::DataBinary, false, "0", "2", "01020", 0, 0},
        ValidationCase{"DataAsciiTooLong", F::DataAscii, false, "0", "3", "abcd", msg::kEnterAtMostChars, kMulti}),
    [](const auto& test) { return std::string(test.param.name); });

struct MessageCase {
  DataFormat format;
  const char* length;
  const char* value;
  const char* password;
  const char* text;
};

class ValidationMessageTest : public ::testing::TestWithParam<MessageCase> {};

TEST_P(ValidationMessageTest, FillsTheFrameworkTexts) {
  const MessageCase& c = GetParam();
  ParameterSet params;
  params.format = c.format;
  const Result<ValidControls> result = ValidateControls({"0", c.length, c.value, c.password}, params, false);
  EXPECT_EQ(result.message().text, c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ValidationMessageTest,
    ::testing::Values(MessageCase{F::DecimalBinary, "9", "1", "", "Geben Sie eine ganze Zahl zwischen 1 und 8 ein."},
                      MessageCase{F::HexBinary, "x", "1", "", "Geben Sie eine ganze Zahl ein."},
                      MessageCase{F::HexBinary, "2", "12345", "", "Geben Sie höchstens 4 Zeichen ein."},
                      MessageCase{F::DataBinary, "2", "01 02 0", "", "Geben Sie höchstens 6 Zeichen ein."},
                      MessageCase{F::DecimalBinary, "8", "123456789012345678901", "",
                                  "Geben Sie höchstens 20 Zeichen ein."},
                      MessageCase{F::HexBinary, "4", "1", "3C5A9E71F", "Geben Sie höchstens 8 Zeichen ein."},
                      MessageCase{F::DataBinary, "2", "010203", "", "Datenfeld enthält mehr Daten als erlaubt sind."}));

TEST(ValidationTest, ReadCommandsSkipTheValueButNotTheNumbers) {
  const ParameterSet params;
  Result<ValidControls> result = ValidateControls({"1024", "2", "not hex at all", "1234"}, params, true);
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(result.value().params.startWord, 1024);
  EXPECT_EQ(result.value().params.lengthBytes, 2);
  EXPECT_EQ(result.value().params.value, "not hex at all");
  EXPECT_EQ(result.value().accessPassword, "1234");
  result = ValidateControls({"0", "0", "", ""}, params, true);
  EXPECT_EQ(result.message().controlId, ctl::kLengthBytes);
}

}  // namespace
}  // namespace stampwise
