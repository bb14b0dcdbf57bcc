// The figures of the production view: what the line wrote in this shift and
// in this cycle, failures and unknown outcomes, the rate and the yield, the
// last value and EPC, and the last hour minute by minute. Fed with the same
// tag events the status log gets; knows no widget.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/base/tag_event.h"
#include "app/values/enabling.h"

namespace stampwise {

// Shift starts as "HH:MM" times of the day, comma-separated ("06:00,14:00,22:00"),
// as minutes after midnight in ascending order; nothing when the text is not
// of that form or names no time.
std::optional<std::vector<int>> ParseShiftStarts(const std::string& text);

// How many minutes of its shift have passed at `minuteOfDay` (0..1439): a
// shift that began the day before counts across midnight. One shift a day
// when `starts` is empty (from midnight).
int MinutesIntoShift(int minuteOfDay, const std::vector<int>& starts);

class ProductionStats {
 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;
  // The local time of day in minutes for a point in time (tests pin it).
  using MinuteOfDay = std::function<int(std::chrono::system_clock::time_point)>;

  static constexpr int kHistoryMinutes = 60;
  static constexpr std::chrono::seconds kRateWindow{120};

  struct Counts {
    int written = 0;
    int failed = 0;  // nothing reached the tag, or the read-back disagreed
    int unknown = 0;
    int Attempts() const { return written + failed + unknown; }
  };
  // One minute of the last hour: tags written, and attempts that did not
  // write (failed or unknown).
  struct Minute {
    int written = 0;
    int failed = 0;
  };

  explicit ProductionStats(std::vector<int> shiftStarts, Clock clock = std::chrono::system_clock::now,
                           MinuteOfDay minuteOfDay = LocalMinuteOfDay);

  void CycleStarted(Cycle cycle);
  void CycleEnded();
  // A write attempt on a tag (read events are not production and are ignored).
  void Count(const TagEvent& event);
  // The job waits for its shared ledger: why (empty: it does not).
  void SetLedgerWait(std::string text) { ledgerWait_ = std::move(text); }
  const std::string& LedgerWait() const { return ledgerWait_; }
  // Moves the shift and the hour on to the clock's time; the view calls it
  // before it draws, so figures age while no tag comes.
  void Update();

  Cycle Running() const { return running_; }
  const Counts& Shift() const { return shift_; }
  const Counts& CurrentCycle() const { return cycle_; }
  // When this shift began, by the plan of shift starts.
  std::chrono::system_clock::time_point ShiftStart() const { return shiftStart_; }
  // When this shift's counting began: its start, or the program's when later.
  std::chrono::system_clock::time_point ShiftCountedSince() const { return shiftCountedSince_; }
  // Tags written per minute over the last two minutes (over the time since
  // the cycle began when that is shorter, but at least ten seconds).
  double RatePerMinute() const;
  // Written of all attempts in the shift, in percent; none before the first.
  std::optional<double> YieldPercent() const;
  const std::string& LastValue() const { return lastValue_; }
  const std::vector<std::uint8_t>& LastEpc() const { return lastEpc_; }
  // The last kHistoryMinutes minutes, oldest first, the current minute last.
  std::vector<Minute> LastHour() const;

  static int LocalMinuteOfDay(std::chrono::system_clock::time_point when);

 private:
  std::chrono::system_clock::time_point ShiftStartAt(std::chrono::system_clock::time_point now) const;
  long long MinuteIndex(std::chrono::system_clock::time_point when) const;

  std::vector<int> shiftStarts_;
  Clock clock_;
  MinuteOfDay minuteOfDay_;
  Cycle running_ = Cycle::None;
  std::chrono::system_clock::time_point cycleStart_{};
  std::chrono::system_clock::time_point shiftStart_{};
  std::chrono::system_clock::time_point shiftCountedSince_{};
  std::chrono::system_clock::time_point now_{};
  Counts shift_;
  Counts cycle_;
  std::deque<std::chrono::system_clock::time_point> recentWrites_;  // within the rate window
  std::deque<std::pair<long long, Minute>> minutes_;                // by minute index, the last hour
  std::string lastValue_;
  std::vector<std::uint8_t> lastEpc_;
  std::string ledgerWait_;
};

}  // namespace stampwise
