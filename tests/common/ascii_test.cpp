#include "common/ascii.h"

#include <gtest/gtest.h>

#include <string_view>

namespace {

TEST(AsciiTest, HexDigitValueOfEveryCharacter) {
  for (int c = -128; c < 128; ++c) {
    const char ch = static_cast<char>(c);
    int expected = -1;
    if (ch >= '0' && ch <= '9') expected = ch - '0';
    if (ch >= 'a' && ch <= 'f') expected = ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') expected = ch - 'A' + 10;
    EXPECT_EQ(ascii::HexDigitValue(ch), expected) << c;
  }
}

struct CompareCase {
  std::string_view a;
  std::string_view b;
  bool equal;
  bool startsWith;  // a starts with b
};

TEST(AsciiTest, ComparesWithoutCaseOnlyLetters) {
  const CompareCase cases[] = {
      {"COM3", "com", false, true}, {"/dev/ttyS0", "/DEV/", false, true}, {"Vex Virtual COM", "vex", false, true},
      {"ZR-4", "zr-4", true, true}, {"CO", "COM", false, false},          {"", "", true, true},
      {"[x]", "{X}", false, false}, {"\xC4", "\xE4", false, false},       {"abc", "abd", false, false},
  };
  for (const CompareCase& c : cases) {
    EXPECT_EQ(ascii::EqualsNoCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
    EXPECT_EQ(ascii::StartsWithNoCase(c.a, c.b), c.startsWith) << c.a << " / " << c.b;
  }
  EXPECT_EQ(ascii::ToUpper('e'), 'E');
  EXPECT_EQ(ascii::ToLower('@'), '@');
}

}  // namespace
