#include "app/production/production_stats.h"

#include <time.h>

#include <algorithm>
#include <sstream>

#include "app/base/file_ops.h"

namespace stampwise {

using std::chrono::system_clock;

namespace {

constexpr int kMinutesPerDay = 24 * 60;
constexpr std::chrono::seconds kShortestRateTime{10};

}  // namespace

std::optional<std::vector<int>> ParseShiftStarts(const std::string& text) {
  std::vector<int> starts;
  std::istringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    item.erase(0, item.find_first_not_of(' '));
    item.erase(item.find_last_not_of(' ') + 1);
    int hours = -1;
    int minutes = -1;
    char colon = 0;
    char rest = 0;
    std::istringstream time(item);
    if (!(time >> hours >> colon >> minutes) || colon != ':' || (time >> rest) || hours < 0 || hours > 23 ||
        minutes < 0 || minutes > 59) {
      return std::nullopt;
    }
    starts.push_back(hours * 60 + minutes);
  }
  if (starts.empty()) return std::nullopt;
  std::sort(starts.begin(), starts.end());
  starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
  return starts;
}

int MinutesIntoShift(int minuteOfDay, const std::vector<int>& starts) {
  if (starts.empty()) return minuteOfDay;
  // The latest start at or before the time; before the first one, the last
  // start of the day before.
  const auto after = std::upper_bound(starts.begin(), starts.end(), minuteOfDay);
  if (after == starts.begin()) return minuteOfDay + kMinutesPerDay - starts.back();
  return minuteOfDay - *(after - 1);
}

int ProductionStats::LocalMinuteOfDay(system_clock::time_point when) {
  const time_t seconds = system_clock::to_time_t(when);
  const tm local = LocalTimeOf(seconds).fields;
  return local.tm_hour * 60 + local.tm_min;
}

ProductionStats::ProductionStats(std::vector<int> shiftStarts, Clock clock, MinuteOfDay minuteOfDay)
    : shiftStarts_(std::move(shiftStarts)), clock_(std::move(clock)), minuteOfDay_(std::move(minuteOfDay)) {
  now_ = clock_();
  shiftStart_ = ShiftStartAt(now_);
  shiftCountedSince_ = std::max(shiftStart_, now_);
}

system_clock::time_point ProductionStats::ShiftStartAt(system_clock::time_point now) const {
  const auto minuteStart = std::chrono::floor<std::chrono::minutes>(now);
  return minuteStart - std::chrono::minutes(MinutesIntoShift(minuteOfDay_(now), shiftStarts_));
}

long long ProductionStats::MinuteIndex(system_clock::time_point when) const {
  return std::chrono::floor<std::chrono::minutes>(when.time_since_epoch()).count();
}

void ProductionStats::Update() {
  now_ = std::max(now_, clock_());
  const auto start = ShiftStartAt(now_);
  if (start > shiftStart_) {
    // The program ran across the change of shift: the new one is counted whole.
    shiftStart_ = start;
    shiftCountedSince_ = start;
    shift_ = {};
  }
  while (!recentWrites_.empty() && recentWrites_.front() < now_ - kRateWindow) recentWrites_.pop_front();
  const long long oldest = MinuteIndex(now_) - kHistoryMinutes + 1;
  while (!minutes_.empty() && minutes_.front().first < oldest) minutes_.pop_front();
}

void ProductionStats::CycleStarted(Cycle cycle) {
  Update();
  running_ = cycle;
  cycleStart_ = now_;
  if (cycle == Cycle::Write) cycle_ = {};
}

void ProductionStats::CycleEnded() {
  Update();
  running_ = Cycle::None;
}

void ProductionStats::Count(const TagEvent& event) {
  if (event.kind != TagEvent::Kind::kWrite) return;
  Update();
  const long long minute = MinuteIndex(now_);
  if (minutes_.empty() || minutes_.back().first != minute) minutes_.push_back({minute, Minute{}});
  Minute& bucket = minutes_.back().second;
  const bool inCycle = running_ == Cycle::Write;
  switch (event.outcome) {
    case TagEvent::Outcome::kDone:
      ++shift_.written;
      if (inCycle) ++cycle_.written;
      ++bucket.written;
      recentWrites_.push_back(now_);
      lastValue_ = event.value;
      lastEpc_ = event.epc;
      break;
    case TagEvent::Outcome::kFailed:
    case TagEvent::Outcome::kMismatch:
      ++shift_.failed;
      if (inCycle) ++cycle_.failed;
      ++bucket.failed;
      break;
    case TagEvent::Outcome::kUnknown:
      ++shift_.unknown;
      if (inCycle) ++cycle_.unknown;
      ++bucket.failed;
      break;
    case TagEvent::Outcome::kNone: break;  // no tag: nothing was tried
  }
}

double ProductionStats::RatePerMinute() const {
  auto window = std::chrono::duration_cast<system_clock::duration>(kRateWindow);
  if (running_ != Cycle::None) {
    window = std::min(window, std::max<system_clock::duration>(now_ - cycleStart_, kShortestRateTime));
  }
  const auto from = now_ - window;
  const auto written = std::count_if(recentWrites_.begin(), recentWrites_.end(),
                                     [&](system_clock::time_point when) { return when >= from; });
  return static_cast<double>(written) / std::chrono::duration<double, std::ratio<60>>(window).count();
}

std::optional<double> ProductionStats::YieldPercent() const {
  if (shift_.Attempts() == 0) return std::nullopt;
  return 100.0 * shift_.written / shift_.Attempts();
}

std::vector<ProductionStats::Minute> ProductionStats::LastHour() const {
  std::vector<Minute> hour(kHistoryMinutes);
  const long long oldest = MinuteIndex(now_) - kHistoryMinutes + 1;
  for (const auto& [index, minute] : minutes_) {
    if (index >= oldest) hour[static_cast<std::size_t>(index - oldest)] = minute;
  }
  return hour;
}

}  // namespace stampwise
