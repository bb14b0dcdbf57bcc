#include "app/production/cycle_summary.h"

#include <cmath>
#include <cstdio>

#include "app/texts/messages.h"
#include "app/texts/strings.h"

namespace stampwise {

void TagTally::Count(const TagEvent& event) {
  const bool writing = event.kind == TagEvent::Kind::kWrite;
  switch (event.outcome) {
    case TagEvent::Outcome::kDone: ++(writing ? written : read); break;
    case TagEvent::Outcome::kFailed:
    case TagEvent::Outcome::kMismatch: ++(writing ? writeFailed : readFailed); break;
    case TagEvent::Outcome::kUnknown: ++writeUnknown; break;
    case TagEvent::Outcome::kNone: break;  // no tag: nothing was tried
  }
}

double SummarySeconds(std::chrono::steady_clock::duration took) {
  return std::round(std::chrono::duration<double>(took).count() * 1000) / 1000;
}

std::string CycleSummaryText(Cycle cycle, const TagTally& tally, int written, int read, const std::string& next,
                             std::chrono::steady_clock::duration took) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f", SummarySeconds(took));
  if (cycle == Cycle::Read) return FormatString(msg::kReadCycleEnded, {read, tally.readFailed, seconds});
  return FormatString(msg::kWriteCycleEnded, {written, tally.writeFailed, tally.writeUnknown, next, seconds});
}

}  // namespace stampwise
