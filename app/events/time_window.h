// The times a ledger export covers (`--since`, `--until`), and the ledger's
// time stamps read back as points in time, so that stations in other time
// zones compare correctly.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "app/ledger/ledger.h"

namespace stampwise::events {

// Milliseconds: the clock's own nanoseconds end in 2262.
using TimePoint = std::chrono::time_point<std::chrono::system_clock, std::chrono::milliseconds>;

// "YYYY-MM-DD", "YYYY-MM-DDTHH:MM", "...:SS", "...:SS.fff", each with "Z" or
// "+HH:MM"/"-HH:MM" or without (local time); a blank instead of "T" too.
std::optional<TimePoint> ParseIsoTime(const std::string& text);

// The offset of an ISO time stamp ("+01:00"; "Z" as "+00:00"); nothing when
// it has none.
std::optional<std::string> OffsetOf(const std::string& text);

struct TimeWindow {
  std::optional<TimePoint> since;  // inclusive
  std::optional<TimePoint> until;  // exclusive
  // A time stamp that cannot be read is outside any window that has a bound.
  bool Contains(const std::string& isoTime) const;
};

// The claims settled inside `window`, in their order; open ones are in none.
std::vector<ledger::Claim> SettledWithin(std::vector<ledger::Claim> claims, const TimeWindow& window);

}  // namespace stampwise::events
