// A shift on one page: totals per station, yield, the rate over time,
// failures by reason and the longest stops, as tables and inline SVG charts
// in one HTML file that needs nothing else (no scripts, fonts or images).
#pragma once

#include <string>
#include <vector>

#include "app/base/result.h"
#include "app/events/time_window.h"
#include "app/ledger/ledger.h"

namespace stampwise::events {

// `claims`: the settled attempts of the shift, in the ledger's order.
// `title` names the window ("2026-12-09 06:00 - 14:00").
std::string ShiftReportHtml(const std::vector<ledger::Claim>& claims, const std::string& title);

// The page of the attempts settled inside `window` on the ledger at `where`
// (a file or a shared ledger's URI), of every station or of `station` only,
// written to `file`. A ledger file that is not there is not made.
Status SaveShiftReport(const std::string& where, const std::string& station, const TimeWindow& window,
                       const std::string& title, const std::string& file);

}  // namespace stampwise::events
