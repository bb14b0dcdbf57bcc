#include "app/logs/status_log.h"

#include <gtest/gtest.h>

#include <string>

namespace stampwise {
namespace {

// The status log holds at most 1000 lines: the line that would be the
// 1001st empties it first. Messages with line ends of their own count each line.
struct FillCase {
  const char* name;
  std::string message;
  int appendsThatFit;  // appends before the one that empties the log
};

class StatusLogFillTest : public ::testing::TestWithParam<FillCase> {};

TEST_P(StatusLogFillTest, EmptiesWhenTheNextLineWouldPassTheLimit) {
  const FillCase& c = GetParam();
  StatusLog log;
  for (int i = 0; i < c.appendsThatFit; ++i) ASSERT_FALSE(log.Append(c.message)) << "append " << i + 1;
  EXPECT_TRUE(log.Append("next"));
  EXPECT_EQ(log.Text(), "next\r\n");
  EXPECT_EQ(log.LineCount(), 2);
}

INSTANTIATE_TEST_SUITE_P(Lines, StatusLogFillTest,
                         ::testing::Values(FillCase{"SingleLines", "Wert <1> erfolgreich geschrieben", 1000},
                                           FillCase{"TwoLineMessages", "Fehler\r\nPort: /dev/ttyS0", 500},
                                           FillCase{"ThreeLineMessages", "a\r\nb\r\nc", 334}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(StatusLog, KeepsEveryLineUpToTheLimit) {
  StatusLog log;
  std::string expected;
  for (int i = 1; i <= 1000; ++i) {
    log.Append(std::to_string(i));
    expected += std::to_string(i) + "\r\n";
  }
  EXPECT_EQ(log.Text(), expected);
  EXPECT_EQ(log.LineCount(), 1001);
}

// Repeat suppression: in a timer tick an id equal to the last one is not
// shown again; outside ticks, and after a reset, everything is shown.
TEST(StatusReporter, SuppressesRepeatsOnlyInTicks) {
  std::vector<std::string> shown;
  StatusReporter reporter([&](const std::string& line) { shown.push_back(line); });
  const std::vector<std::pair<int, bool>> steps = {{1, true}, {1, true}, {2, true}, {1, true}, {1, false}, {1, true}};
  for (const auto& [id, inTick] : steps) {
    reporter.SetInTick(inTick);
    reporter.ShowMessage(id, "m" + std::to_string(id));
  }
  EXPECT_EQ(shown, (std::vector<std::string>{"m1", "m2", "m1", "m1"}));
  reporter.ResetRepeat();
  reporter.SetInTick(true);
  reporter.ShowMessage(1, "m1");
  EXPECT_EQ(shown.size(), 5u);
}

}  // namespace
}  // namespace stampwise
