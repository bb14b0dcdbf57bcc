#include "app/values_validation.h"

#include <gtest/gtest.h>

#include "app/enabling.h"
#include "app/messages.h"

namespace stampwise {
namespace {

using F = DataFormat;

struct ValidationCase {
  const char* name;
  DataFormat format;
  bool additionalText;
  const char* startWord;
  const char* length;
  const char* value;
  int messageId;   // 0: valid
  const char* text;  // expected message text, or nullptr to skip
  int controlId;
};

class ValidationTest : public ::testing::TestWithParam<ValidationCase> {};

TEST_P(ValidationTest, ChecksInOrder) {
  const ValidationCase& c = GetParam();
  ParameterSet params;
  params.format = c.format;
  params.additionalText = c.additionalText;
  const ValidationResult result =
      ValidateControls({c.startWord, c.length, c.value, "3C5A9E71"}, params, false);
  if (c.messageId == 0) {
    ASSERT_TRUE(result.ok) << result.error.text;
    EXPECT_EQ(result.params.value, c.value);
    return;
  }
  ASSERT_FALSE(result.ok);
  EXPECT_EQ(result.error.messageId, c.messageId);
  EXPECT_EQ(result.error.controlId, c.controlId);
  if (c.text) {
    EXPECT_EQ(result.error.text, c.text);
  }
}

constexpr int kValue = ctl::kValueSingleLine;
constexpr int kMulti = ctl::kValueMultiLine;

INSTANTIATE_TEST_SUITE_P(
    Fields, ValidationTest,
    ::testing::Values(
        ValidationCase{"Valid", F::HexBinary, false, "0", "4", "12AB", 0, nullptr, 0},
        ValidationCase{"BlanksAroundNumbers", F::HexBinary, false, " 2 ", "+4", "1", 0, nullptr, 0},
        ValidationCase{"StartNotNumber", F::HexBinary, false, "x", "4", "1", msg::kEnterInteger,
                       "Geben Sie eine ganze Zahl ein.", ctl::kStartWord},
        ValidationCase{"StartTooLarge", F::HexBinary, false, "1025", "4", "1",
                       msg::kEnterIntegerBetween, "Geben Sie eine ganze Zahl zwischen 0 und 1024 ein.",
                       ctl::kStartWord},
        ValidationCase{"StartNegative", F::HexBinary, false, "-1", "4", "1",
                       msg::kEnterIntegerBetween, nullptr, ctl::kStartWord},
        ValidationCase{"StartBeforeLength", F::HexBinary, false, "", "", "1", msg::kEnterInteger,
                       nullptr, ctl::kStartWord},
        ValidationCase{"LengthOverflow", F::HexBinary, false, "0", "99999999999", "1",
                       msg::kEnterInteger, nullptr, ctl::kLengthBytes},
        ValidationCase{"LengthZero", F::HexAscii, false, "0", "0", "1", msg::kEnterIntegerBetween,
                       "Geben Sie eine ganze Zahl zwischen 1 und 1023 ein.", ctl::kLengthBytes},
        ValidationCase{"DecimalBinaryNine", F::DecimalBinary, false, "0", "9", "1",
                       msg::kEnterIntegerBetween,
                       "Geben Sie eine ganze Zahl zwischen 1 und 8 ein.", ctl::kLengthBytes},
        ValidationCase{"DecimalAsciiHugeLength", F::DecimalAscii, false, "0", "100000", "1",
                       msg::kEnterIntegerBetween, nullptr, ctl::kLengthBytes},
        ValidationCase{"HexBinTooLong", F::HexBinary, false, "0", "2", "12345",
                       msg::kEnterAtMostChars, "Geben Sie höchstens 4 Zeichen ein.", kValue},
        ValidationCase{"HexBinNotHex", F::HexBinary, false, "0", "2", "12G4", msg::kNoHexInput,
                       "Keine Hex-Eingabe", kValue},
        ValidationCase{"HexAsciiTooLong", F::HexAscii, true, "0", "2", "ABC", msg::kEnterAtMostChars,
                       "Geben Sie höchstens 2 Zeichen ein.", kValue},
        ValidationCase{"HexAsciiNotHex", F::HexAscii, false, "0", "4", "SN-1", msg::kNoHexInput,
                       nullptr, kValue},
        ValidationCase{"HexAsciiFreeText", F::HexAscii, true, "0", "4", "SN-1", 0, nullptr, 0},
        ValidationCase{"DecBinNotDecimal", F::DecimalBinary, false, "0", "4", "12A",
                       msg::kNoDecimalInput, "Keine Dezimal-Eingabe", kValue},
        ValidationCase{"DecBinTooLong", F::DecimalBinary, false, "0", "8", "123456789012345678901",
                       msg::kEnterAtMostChars, "Geben Sie höchstens 20 Zeichen ein.", kValue},
        ValidationCase{"DecAsciiNotDecimal", F::DecimalAscii, false, "0", "4", "-1",
                       msg::kNoDecimalInput, nullptr, kValue},
        ValidationCase{"DecAsciiFreeTextUnchecked", F::DecimalAscii, true, "0", "4",
                       "Nr. 123456789012345678901", 0, nullptr, 0},
        ValidationCase{"DataBinValid", F::DataBinary, false, "0", "2", "01 02", 0, nullptr, 0},
        ValidationCase{"DataBinTooLong", F::DataBinary, false, "0", "2", "01 02 0", msg::kEnterAtMostChars,
                       "Geben Sie höchstens 6 Zeichen ein.", kMulti},
        ValidationCase{"DataBinNotHex", F::DataBinary, false, "0", "2", "01\r\n02", msg::kNoHexInput,
                       nullptr, kMulti},
        ValidationCase{"DataBinTooMuchData", F::DataBinary, false, "0", "2", "010203",
                       msg::kTooMuchData, "Datenfeld enthält mehr Daten als erlaubt sind.", kMulti},
        ValidationCase{"DataBinOddCountFits", F::DataBinary, false, "0", "2", "01020", 0, nullptr, 0},
        ValidationCase{"DataAsciiTooLong", F::DataAscii, false, "0", "3", "abcd", msg::kEnterAtMostChars,
                       nullptr, kMulti}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(ValidationTest, ReadCommandsSkipTheValueButNotTheNumbers) {
  ParameterSet params;
  params.format = F::HexBinary;
  ValidationResult result = ValidateControls({"0", "2", "not hex at all", ""}, params, true);
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.params.lengthBytes, 2);
  EXPECT_EQ(result.params.value, "not hex at all");

  result = ValidateControls({"0", "0", "", ""}, params, true);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error.controlId, ctl::kLengthBytes);
}

TEST(ValidationTest, PasswordAtMostEightCharacters) {
  const ParameterSet params;
  const ValidationResult result = ValidateControls({"0", "4", "1", "3C5A9E71F"}, params, false);
  ASSERT_FALSE(result.ok);
  EXPECT_EQ(result.error.controlId, ctl::kAccessPassword);
  EXPECT_EQ(result.error.text, "Geben Sie höchstens 8 Zeichen ein.");
}

TEST(ValidationTest, TakesStartWordAndLengthOver) {
  const ParameterSet params;
  const ValidationResult result = ValidateControls({"1024", "1023", "AB", "1234"}, params, false);
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.params.startWord, 1024);
  EXPECT_EQ(result.params.lengthBytes, 1023);
  EXPECT_EQ(result.accessPassword, "1234");
}

}  // namespace
}  // namespace stampwise
