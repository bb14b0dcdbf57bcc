// A shift on one page: totals per station, yield, the rate over time,
// failures by reason and the longest stops, as tables and inline SVG charts
// in one HTML file that needs nothing else (no scripts, fonts or images).
#pragma once

#include <string>
#include <vector>

#include "app/ledger/ledger.h"

namespace stampwise::events {

// `claims`: the settled attempts of the shift, in the ledger's order.
// `title` names the window ("2026-12-09 06:00 - 14:00").
std::string ShiftReportHtml(const std::vector<ledger::Claim>& claims, const std::string& title);

}  // namespace stampwise::events
