#include "app/events/time_window.h"

#include <cctype>
#include <ctime>

#include "app/base/file_ops.h"

namespace stampwise::events {
namespace {

// Reads `count` digits at `at`; advances it.
std::optional<int> Digits(const std::string& text, std::size_t& at, int count) {
  int value = 0;
  for (int i = 0; i < count; ++i, ++at) {
    if (at >= text.size() || std::isdigit(static_cast<unsigned char>(text[at])) == 0) return std::nullopt;
    value = value * 10 + (text[at] - '0');
  }
  return value;
}

bool Take(const std::string& text, std::size_t& at, char c) {
  if (at < text.size() && text[at] == c) {
    ++at;
    return true;
  }
  return false;
}

// Where the offset begins: after the time of day, at "Z", "+" or "-".
std::optional<std::size_t> OffsetStart(const std::string& text) {
  if (text.size() < 11) return std::nullopt;
  const std::size_t found = text.find_first_of("Z+-", 10);
  if (found == std::string::npos) return std::nullopt;
  return found;
}

}  // namespace

std::optional<TimePoint> ParseIsoTime(const std::string& text) {
  std::size_t at = 0;
  std::tm fields{};
  const auto year = Digits(text, at, 4);
  if (!year || !Take(text, at, '-')) return std::nullopt;
  const auto month = Digits(text, at, 2);
  if (!month || !Take(text, at, '-')) return std::nullopt;
  const auto day = Digits(text, at, 2);
  if (!day || *month < 1 || *month > 12 || *day < 1 || *day > 31) return std::nullopt;
  int hour = 0, minute = 0, second = 0, millis = 0;
  if (Take(text, at, 'T') || Take(text, at, ' ')) {
    const auto h = Digits(text, at, 2);
    if (!h || !Take(text, at, ':')) return std::nullopt;
    const auto m = Digits(text, at, 2);
    if (!m) return std::nullopt;
    hour = *h;
    minute = *m;
    if (Take(text, at, ':')) {
      const auto s = Digits(text, at, 2);
      if (!s) return std::nullopt;
      second = *s;
      if (Take(text, at, '.')) {
        int scale = 100, digits = 0;
        while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) != 0) {
          millis += (text[at++] - '0') * scale;
          scale /= 10;
          ++digits;
        }
        if (digits == 0) return std::nullopt;
      }
    }
    if (hour > 23 || minute > 59 || second > 60) return std::nullopt;
  }
  fields.tm_year = *year - 1900;
  fields.tm_mon = *month - 1;
  fields.tm_mday = *day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_sec = second;
  std::time_t seconds = 0;
  if (at == text.size()) {
    fields.tm_isdst = -1;
    seconds = std::mktime(&fields);
  } else {
    long offset = 0;
    if (!Take(text, at, 'Z')) {
      const bool negative = text[at] == '-';
      if (!Take(text, at, '+') && !Take(text, at, '-')) return std::nullopt;
      const auto h = Digits(text, at, 2);
      if (!h || !Take(text, at, ':')) return std::nullopt;
      const auto m = Digits(text, at, 2);
      if (!m || *h > 23 || *m > 59) return std::nullopt;
      offset = (*h * 60L + *m) * 60L * (negative ? -1 : 1);
    }
    if (at != text.size()) return std::nullopt;
    seconds = UtcSecondsOf(fields) - offset;
  }
  return TimePoint(std::chrono::seconds(seconds)) + std::chrono::milliseconds(millis);
}

std::optional<std::string> OffsetOf(const std::string& text) {
  const std::optional<std::size_t> start = OffsetStart(text);
  if (!start) return std::nullopt;
  const std::string offset = text.substr(*start);
  return offset == "Z" ? "+00:00" : offset;
}

bool TimeWindow::Contains(const std::string& isoTime) const {
  if (!since && !until) return true;
  const std::optional<TimePoint> when = ParseIsoTime(isoTime);
  if (!when) return false;
  return (!since || *when >= *since) && (!until || *when < *until);
}

std::vector<ledger::Claim> SettledWithin(std::vector<ledger::Claim> claims, const TimeWindow& window) {
  std::erase_if(claims, [&window](const ledger::Claim& claim) {
    return claim.outcome == ledger::Outcome::kOpen || !window.Contains(claim.settled);
  });
  return claims;
}

}  // namespace stampwise::events
