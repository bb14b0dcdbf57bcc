// The production view's figures: shifts by the clock, the rate over the last
// minutes, the yield, the last hour minute by minute, and the summary line
// both front ends end a cycle with.
#include "app/production/production_stats.h"

#include <gtest/gtest.h>

#include "app/production/cycle_summary.h"

namespace stampwise {
namespace {

using std::chrono::minutes;
using std::chrono::seconds;
using Time = std::chrono::system_clock::time_point;

TEST(ShiftPlan, ParsesTimesOfDayAndRefusesAnythingElse) {
  struct Case {
    const char* text;
    std::optional<std::vector<int>> starts;
  };
  const Case cases[] = {
      {"06:00,14:00,22:00", std::vector<int>{360, 840, 1320}},
      {"22:00, 6:30", std::vector<int>{390, 1320}},  // sorted, blanks allowed
      {"00:00", std::vector<int>{0}},
      {"", std::nullopt},
      {"24:00", std::nullopt},
      {"06:60", std::nullopt},
      {"6", std::nullopt},
      {"06:00x", std::nullopt},
      {"06:00,,14:00", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseShiftStarts(c.text), c.starts) << c.text;
}

TEST(ShiftPlan, MinutesIntoTheShiftCountAcrossMidnight) {
  const std::vector<int> three{360, 840, 1320};
  struct Case {
    int minuteOfDay;
    int into;
  };
  const Case cases[] = {{360, 0}, {839, 479}, {840, 0}, {1439, 119}, {0, 120}, {359, 479}};
  for (const Case& c : cases) EXPECT_EQ(MinutesIntoShift(c.minuteOfDay, three), c.into) << c.minuteOfDay;
  EXPECT_EQ(MinutesIntoShift(75, {}), 75);  // no plan: the day is the shift
}

// A clock the test moves; the time of day is the epoch's (UTC), so shifts
// fall on whole hours of the test's day.
class Stats : public ::testing::Test {
 protected:
  Stats()
      : now_(Time(std::chrono::hours(24 * 1000) + std::chrono::hours(13) + minutes(50))),
        stats_(
            {360, 840, 1320}, [this] { return now_; },
            [](Time when) {
              return static_cast<int>(std::chrono::floor<minutes>(when.time_since_epoch()).count() % (24 * 60));
            }) {}

  static TagEvent Write(TagEvent::Outcome outcome, std::string value = "V") {
    TagEvent event;
    event.kind = TagEvent::Kind::kWrite;
    event.outcome = outcome;
    event.value = std::move(value);
    event.epc = {0xE2, 0x00};
    return event;
  }

  Time now_;
  ProductionStats stats_;
};

TEST_F(Stats, CountsTheShiftAndTheCycleAndStartsANewShiftOnTime) {
  const Time started = now_;
  stats_.Count(Write(TagEvent::Outcome::kDone));  // a single write outside any cycle
  stats_.CycleStarted(Cycle::Write);
  for (const auto outcome : {TagEvent::Outcome::kDone, TagEvent::Outcome::kDone, TagEvent::Outcome::kFailed,
                             TagEvent::Outcome::kMismatch, TagEvent::Outcome::kUnknown}) {
    now_ += seconds(5);
    stats_.Count(Write(outcome, outcome == TagEvent::Outcome::kDone ? "L" : "X"));
  }
  TagEvent read;
  read.kind = TagEvent::Kind::kRead;
  stats_.Count(read);  // reads are no production
  EXPECT_EQ(stats_.Shift().written, 3);
  EXPECT_EQ(stats_.Shift().failed, 2);
  EXPECT_EQ(stats_.Shift().unknown, 1);
  EXPECT_EQ(stats_.CurrentCycle().written, 2);
  EXPECT_EQ(stats_.CurrentCycle().Attempts(), 5);
  EXPECT_DOUBLE_EQ(*stats_.YieldPercent(), 50.0);
  EXPECT_EQ(stats_.LastValue(), "L");              // the last written, not the last tried
  EXPECT_EQ(stats_.ShiftCountedSince(), started);  // the program started within the shift

  now_ += minutes(10);  // 14:00 and a bit: the next shift
  stats_.Update();
  EXPECT_EQ(stats_.Shift().Attempts(), 0);
  EXPECT_FALSE(stats_.YieldPercent());
  EXPECT_EQ(stats_.ShiftCountedSince(), Time(std::chrono::hours(24 * 1000 + 14)));
  EXPECT_EQ(stats_.CurrentCycle().written, 2);  // the cycle goes on across the change
  stats_.CycleEnded();
  EXPECT_EQ(stats_.Running(), Cycle::None);
}

TEST_F(Stats, RateIsOverTheLastTwoMinutesOrTheCycleSoFar) {
  stats_.CycleStarted(Cycle::Write);
  EXPECT_DOUBLE_EQ(stats_.RatePerMinute(), 0.0);
  for (int tag = 0; tag < 10; ++tag) {
    now_ += seconds(3);
    stats_.Count(Write(TagEvent::Outcome::kDone));
  }
  // 10 tags in the cycle's 30 s: 20 a minute.
  EXPECT_DOUBLE_EQ(stats_.RatePerMinute(), 20.0);
  now_ += seconds(90);
  stats_.Update();
  // All 10 within the last two minutes.
  EXPECT_DOUBLE_EQ(stats_.RatePerMinute(), 5.0);
  now_ += minutes(2);
  stats_.Update();
  EXPECT_DOUBLE_EQ(stats_.RatePerMinute(), 0.0);
}

TEST_F(Stats, TheLastHourHoldsEachMinuteAndForgetsOlderOnes) {
  stats_.Count(Write(TagEvent::Outcome::kDone));
  stats_.Count(Write(TagEvent::Outcome::kFailed));
  now_ += minutes(1);
  stats_.Count(Write(TagEvent::Outcome::kDone));
  stats_.Count(Write(TagEvent::Outcome::kDone));
  stats_.Count(Write(TagEvent::Outcome::kUnknown));
  std::vector<ProductionStats::Minute> hour = stats_.LastHour();
  ASSERT_EQ(hour.size(), 60u);
  EXPECT_EQ(hour[59].written, 2);
  EXPECT_EQ(hour[59].failed, 1);
  EXPECT_EQ(hour[58].written, 1);
  EXPECT_EQ(hour[58].failed, 1);
  now_ += minutes(59);
  stats_.Update();
  hour = stats_.LastHour();
  EXPECT_EQ(hour[0].written, 2);  // the minute before, at the far end
  EXPECT_EQ(hour[59].written, 0);
  now_ += minutes(1);
  stats_.Update();
  for (const ProductionStats::Minute& minute : stats_.LastHour()) EXPECT_EQ(minute.written + minute.failed, 0);
}

TEST(CycleSummary, CountsOutcomesAndSaysTheSameForBothFrontEnds) {
  TagTally tally;
  for (const auto outcome : {TagEvent::Outcome::kDone, TagEvent::Outcome::kFailed, TagEvent::Outcome::kMismatch,
                             TagEvent::Outcome::kUnknown}) {
    TagEvent event;
    event.outcome = outcome;
    tally.Count(event);
  }
  TagEvent read;
  read.kind = TagEvent::Kind::kRead;
  tally.Count(read);
  read.outcome = TagEvent::Outcome::kFailed;
  tally.Count(read);
  EXPECT_EQ(tally.written, 1);
  EXPECT_EQ(tally.writeFailed, 2);
  EXPECT_EQ(tally.writeUnknown, 1);
  EXPECT_EQ(tally.read, 1);
  EXPECT_EQ(tally.readFailed, 1);
  EXPECT_EQ(CycleSummaryText(Cycle::Write, tally, 7, 0, "0000002A", std::chrono::milliseconds(12345)),
            "Zyklus beendet: 7 geschrieben, 2 fehlgeschlagen, 1 mit unbekanntem Ergebnis, nächster Wert <0000002A>, "
            "12.3 s");
  EXPECT_EQ(CycleSummaryText(Cycle::Read, tally, 7, 4, "", std::chrono::milliseconds(940)),
            "Zyklus beendet: 4 gelesen, 1 fehlgeschlagen, 0.9 s");
  EXPECT_DOUBLE_EQ(SummarySeconds(std::chrono::microseconds(1234567)), 1.235);
}

}  // namespace
}  // namespace stampwise
