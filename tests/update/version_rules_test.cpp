#include "update/version_rules.h"

#include <gtest/gtest.h>
#include <utime.h>

#include <ctime>
#include <string>

#include "tests/app/temp_folder.h"

namespace stampwise::update {
namespace {

struct NewerCase {
  const char* ownVersion;
  const char* ownBuild;
  const char* serverVersion;
  const char* serverBuild;
  bool newer;
};

// clang-format off
const NewerCase kNewerCases[] = {
  // minors compare as text: "07" < "10" ...
  {"1.07", "2026-06-01", "1.10", "2026-01-01", true},
  // ... but "7" > "10": the builds decide
  {"1.7",  "2026-06-01", "1.10", "2026-01-01", false},
  {"1.7",  "2026-01-01", "1.10", "2026-06-01", true},
  // a greater own major does not stop a later server build
  {"2.00", "2026-01-01", "1.99", "2026-06-01", true},
  {"2.00", "2026-06-01", "1.99", "2026-01-01", false},
  // the device check has no own build: any server build is newer
  {"1.11", "",           "1.11", "2026-01-01", true},
  {"1.11", "",           "1.11", "",           false},
  {"1.12", "",           "1.11", "",           false},
  {"1.11", "",           "1.12", "",           true},
  // equal pairs are not newer
  {"1.10", "2026-01-01", "1.10", "2026-01-01", false},
  // majors are integers: 2 < 10
  {"2",    "",           "10",   "",           true},
  {"10.0", "",           "9.9",  "",           false},
  // a leading '.' makes the whole text the major, read as 0
  {".5",   "",           "1.0",  "",           true},
};
// clang-format on

TEST(IsNewerVersion, FollowsTheComparisonTable) {
  for (const NewerCase& c : kNewerCases) {
    EXPECT_EQ(IsNewerVersion(c.ownVersion, c.ownBuild, c.serverVersion, c.serverBuild), c.newer)
        << c.ownVersion << " (" << c.ownBuild << ") vs " << c.serverVersion << " (" << c.serverBuild << ")";
  }
}

TEST(DeviceVersion, MapsDigitsAndBothLetterCases) {
  const std::pair<char, const char*> cases[] = {{'0', "1.00"}, {'9', "1.09"}, {'A', "1.10"},
                                                {'B', "1.11"}, {'Z', "1.35"}, {'a', "1.36"},
                                                {'z', "1.61"}, {'#', "1.00"}, {'\0', "1.00"}};
  for (const auto& [c, text] : cases) EXPECT_EQ(DeviceVersion(c), text) << static_cast<int>(c);
}

TEST(OwnVersionText, PadsShortAndReplacesMissingVersions) {
  EXPECT_EQ(OwnVersionText(""), "-.--");
  EXPECT_EQ(OwnVersionText("1.0"), "1.0 ");
  EXPECT_EQ(OwnVersionText("1.07"), "1.07");
  EXPECT_EQ(OwnVersionText(std::string(19, '1')), std::string(19, '1'));
  EXPECT_EQ(OwnVersionText(std::string(20, '1')), "-.--");
}

TEST(FileDate, IsTheLocalModificationDay) {
  EXPECT_EQ(FileDate("/nonexistent/stampwise"), "");
  testing::TempFolder folder;
  const std::string file = folder.File("program");
  testing::WriteFile(file, "x");
  struct tm noon {};
  noon.tm_year = 2024 - 1900;
  noon.tm_mon = 2;
  noon.tm_mday = 5;
  noon.tm_hour = 12;
  noon.tm_isdst = -1;
  const struct utimbuf times { std::mktime(&noon), std::mktime(&noon) };
  ASSERT_EQ(::utime(file.c_str(), &times), 0);
  EXPECT_EQ(FileDate(file), "2024-03-05");
}

}  // namespace
}  // namespace stampwise::update
