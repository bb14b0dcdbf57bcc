// How a write or read cycle ended, as one line: both front ends count the
// attempts on tags the same way and say the same thing.
#pragma once

#include <chrono>
#include <string>

#include "app/base/tag_event.h"
#include "app/values/enabling.h"

namespace stampwise {

// Attempts on tags by outcome. A write the read-back did not confirm counts
// as failed (its value is used up all the same).
struct TagTally {
  int written = 0;
  int writeFailed = 0;
  int writeUnknown = 0;
  int read = 0;
  int readFailed = 0;

  void Count(const TagEvent& event);
};

// "Zyklus beendet: ..." for the cycle: tags written, failed and unknown, the
// next value and the time for a write cycle; tags read, failed and the time
// for a read cycle. `written` and `read` are the writer's own counts.
std::string CycleSummaryText(Cycle cycle, const TagTally& tally, int written, int read, const std::string& next,
                             std::chrono::steady_clock::duration took);

// The time a summary gives, in seconds rounded to milliseconds.
double SummarySeconds(std::chrono::steady_clock::duration took);

}  // namespace stampwise
