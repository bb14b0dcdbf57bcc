#include "app/events/shift_report.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>

#include "app/base/atomic_file.h"
#include "app/ledger/open_ledger.h"
#include "app/texts/strings.h"

namespace stampwise::events {
namespace {

using ledger::Claim;
using ledger::Outcome;
using std::chrono::milliseconds;

constexpr std::size_t kTopReasons = 10;
constexpr std::size_t kTopStops = 5;
constexpr int kChartWidth = 720;
constexpr int kChartHeight = 200;

std::string Escape(const std::string& latin1) {
  std::string out;
  for (const char c : ToUtf8(latin1)) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Percent(int part, int whole) {
  if (whole == 0) return "-";
  char text[16];
  std::snprintf(text, sizeof text, "%.1f %%", 100.0 * part / whole);
  return text;
}

// "0.4 s" under a minute, else "1:02:05".
std::string Duration(milliseconds span) {
  char text[32];
  const long long s = span.count() / 1000;
  if (s < 60) {
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(span.count()) / 1000.0);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  }
  return text;
}

// "+01:00" as 60.
long OffsetMinutes(const std::string& iso) {
  const std::optional<std::string> offset = OffsetOf(iso);
  if (!offset || offset->size() != 6) return 0;
  const long minutes = std::stol(offset->substr(1, 2)) * 60 + std::stol(offset->substr(4, 2));
  return (*offset)[0] == '-' ? -minutes : minutes;
}

struct Tally {
  int attempts = 0, written = 0, failed = 0, unknown = 0, mismatch = 0;
  void Add(Outcome outcome) {
    ++attempts;
    if (outcome == Outcome::kWritten) ++written;
    if (outcome == Outcome::kFailed) ++failed;
    if (outcome == Outcome::kUnknown) ++unknown;
    if (outcome == Outcome::kMismatch) ++mismatch;
  }
};

std::string TallyRow(const std::string& name, const Tally& t) {
  return "<tr><td>" + name + "</td><td>" + std::to_string(t.attempts) + "</td><td>" + std::to_string(t.written) +
         "</td><td>" + std::to_string(t.failed) + "</td><td>" + std::to_string(t.unknown) + "</td><td>" +
         std::to_string(t.mismatch) + "</td><td>" + Percent(t.written, t.attempts) + "</td></tr>\n";
}

std::string Totals(const std::vector<Claim>& claims) {
  std::map<std::string, Tally> byStation;
  Tally all;
  for (const Claim& claim : claims) {
    byStation[claim.station].Add(claim.outcome);
    all.Add(claim.outcome);
  }
  std::string html =
      "<h2>Totals per station</h2>\n<table><tr><th>Station</th><th>Attempts</th><th>Written</th><th>Failed</th>"
      "<th>Unknown</th><th>Mismatch</th><th>Yield</th></tr>\n";
  for (const auto& [station, tally] : byStation) html += TallyRow(Escape(station), tally);
  html += TallyRow("<b>All</b>", all);
  return html + "</table>\n";
}

// Bars with a label under each; `values` in order.
std::string BarChart(const std::vector<std::pair<std::string, int>>& values, const std::string& caption) {
  int top = 1;
  for (const auto& [label, value] : values) top = std::max(top, value);
  const int slots = std::max<int>(1, static_cast<int>(values.size()));
  const int slot = kChartWidth / slots;
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(kChartWidth) +
                    "\" height=\"" + std::to_string(kChartHeight + 40) + "\" role=\"img\"><title>" + caption +
                    "</title>\n";
  svg += "<line x1=\"0\" y1=\"" + std::to_string(kChartHeight) + "\" x2=\"" + std::to_string(kChartWidth) + "\" y2=\"" +
         std::to_string(kChartHeight) + "\" stroke=\"#444\"/>\n";
  for (int i = 0; i < static_cast<int>(values.size()); ++i) {
    const auto& [label, value] = values[static_cast<std::size_t>(i)];
    const int height = value * (kChartHeight - 20) / top;
    const int x = i * slot + slot / 8;
    svg += "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(kChartHeight - height) + "\" width=\"" +
           std::to_string(std::max(1, slot * 3 / 4)) + "\" height=\"" + std::to_string(height) +
           "\" fill=\"#2f6db5\"><title>" + label + ": " + std::to_string(value) + "</title></rect>\n";
    if (values.size() <= 24 || i % 4 == 0) {
      svg += "<text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(kChartHeight + 16) + "\" font-size=\"11\">" +
             label + "</text>\n";
    }
    svg += "<text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(kChartHeight - height - 4) +
           "\" font-size=\"10\">" + std::to_string(value) + "</text>\n";
  }
  return svg + "</svg>\n";
}

// Tags written per interval: about 24 bars whatever the window's length.
std::string Rate(const std::vector<Claim>& claims) {
  std::vector<std::pair<TimePoint, std::string>> written;
  for (const Claim& claim : claims) {
    if (claim.outcome != Outcome::kWritten) continue;
    if (const std::optional<TimePoint> when = ParseIsoTime(claim.settled)) written.emplace_back(*when, claim.settled);
  }
  std::string html = "<h2>Rate over time</h2>\n";
  if (written.empty()) return html + "<p>No tag written.</p>\n";
  const TimePoint first = written.front().first;
  const TimePoint last = written.back().first;
  milliseconds step{60000};
  for (const int minutes : {1, 5, 10, 15, 30, 60, 120}) {
    step = milliseconds(minutes * 60000LL);
    if ((last - first) / step < 24) break;
  }
  // Intervals begin on the hour in the ledger's own zone (its first stamp's).
  const long offsetMinutes = OffsetMinutes(written.front().second);
  const milliseconds zone(offsetMinutes * 60000LL);
  const milliseconds local = first.time_since_epoch() + zone;
  const TimePoint start = TimePoint(local - local % step - zone);
  std::vector<std::pair<std::string, int>> bars;
  for (const auto& [when, text] : written) {
    const std::size_t index = static_cast<std::size_t>((when - start) / step);
    while (bars.size() <= index) {
      const milliseconds begin = (start + step * static_cast<long>(bars.size())).time_since_epoch() + zone;
      const long minutes = static_cast<long>(begin.count() / 60000 % 1440);
      char label[16];
      std::snprintf(label, sizeof label, "%02ld:%02ld", minutes / 60, minutes % 60);
      bars.emplace_back(label, 0);
    }
    ++bars[index].second;
  }
  html += "<p>Tags written per " + std::to_string(step.count() / 60000) + " min.</p>\n";
  return html + BarChart(bars, "Tags written per interval");
}

std::string Failures(const std::vector<Claim>& claims) {
  std::map<std::string, int> byReason;
  for (const Claim& claim : claims) {
    if (claim.outcome == Outcome::kWritten) continue;
    ++byReason[std::string(ledger::OutcomeName(claim.outcome)) + ": " + claim.message];
  }
  std::string html = "<h2>Failures by reason</h2>\n";
  if (byReason.empty()) return html + "<p>No failure.</p>\n";
  std::vector<std::pair<std::string, int>> reasons(byReason.begin(), byReason.end());
  std::stable_sort(reasons.begin(), reasons.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  if (reasons.size() > kTopReasons) reasons.resize(kTopReasons);
  const int top = reasons.front().second;
  html += "<table><tr><th>Reason</th><th>Count</th><th></th></tr>\n";
  for (const auto& [reason, count] : reasons) {
    html += "<tr><td>" + Escape(reason) + "</td><td>" + std::to_string(count) +
            "</td><td><svg xmlns=\"http://www.w3.org/2000/svg\" width=\"200\" height=\"14\"><rect width=\"" +
            std::to_string(std::max(1, count * 200 / top)) + "\" height=\"14\" fill=\"#c0392b\"/></svg></td></tr>\n";
  }
  return html + "</table>\n";
}

// The longest gaps between one station's attempts.
std::string Stops(const std::vector<Claim>& claims) {
  struct Stop {
    milliseconds length;
    std::string station, from, to;
  };
  std::map<std::string, std::pair<TimePoint, std::string>> lastOf;
  std::vector<Stop> stops;
  for (const Claim& claim : claims) {
    const std::optional<TimePoint> when = ParseIsoTime(claim.settled);
    if (!when) continue;
    const auto found = lastOf.find(claim.station);
    if (found != lastOf.end())
      stops.push_back({*when - found->second.first, claim.station, found->second.second, claim.settled});
    lastOf[claim.station] = {*when, claim.settled};
  }
  std::string html = "<h2>Longest stops</h2>\n";
  if (stops.empty()) return html + "<p>Fewer than two attempts.</p>\n";
  std::stable_sort(stops.begin(), stops.end(), [](const Stop& a, const Stop& b) { return a.length > b.length; });
  if (stops.size() > kTopStops) stops.resize(kTopStops);
  html += "<table><tr><th>Station</th><th>From</th><th>To</th><th>Length</th></tr>\n";
  for (const Stop& stop : stops) {
    html += "<tr><td>" + Escape(stop.station) + "</td><td>" + Escape(stop.from) + "</td><td>" + Escape(stop.to) +
            "</td><td>" + Duration(stop.length) + "</td></tr>\n";
  }
  return html + "</table>\n";
}

}  // namespace

std::string ShiftReportHtml(const std::vector<Claim>& claims, const std::string& title) {
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>Shift report " + Escape(title) +
      "</title>\n<style>body{font-family:sans-serif;margin:24px;color:#222}table{border-collapse:collapse;"
      "margin-bottom:16px}td,th{border:1px solid #bbb;padding:3px 8px;text-align:left}th{background:#eee}"
      "</style></head><body>\n<h1>Shift report " +
      Escape(title) + "</h1>\n";
  html += Totals(claims) + Rate(claims) + Failures(claims) + Stops(claims);
  return html + "</body></html>\n";
}

Status SaveShiftReport(const std::string& where, const std::string& station, const TimeWindow& window,
                       const std::string& title, const std::string& file) {
  Result<std::unique_ptr<ledger::Ledger>> opened = ledger::OpenLedgerToRead(where);
  if (!opened) return Status::Failure(opened.message());
  Result<std::vector<Claim>> claims = opened.value()->List({station, ""});
  if (!claims) return Status::Failure(claims.message());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << ShiftReportHtml(SettledWithin(std::move(claims).value(), window), title);
  out.close();
  if (!out) return Status::Failure(Message{0, ErrnoText(file), 0});
  return Done{};
}

}  // namespace stampwise::events
