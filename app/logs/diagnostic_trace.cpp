#include "app/logs/diagnostic_trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace stampwise {
namespace {

constexpr std::size_t kLineBufferSize = 512;

std::string RuntimeFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return runtime != nullptr ? runtime : "";
}

}  // namespace

TraceChannel::TraceChannel(std::string folder) : folder_(folder.empty() ? RuntimeFolder() : std::move(folder)) {}

TraceChannel& TraceChannel::Default() {
  static TraceChannel channel;
  return channel;
}

bool TraceChannel::Trace(const char* format, ...) {
  char buffer[kBufferSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return Send(buffer);
}

TimingRecord::TimingRecord(TraceChannel& channel, std::int64_t thresholdUs)
    : channel_(channel), thresholdUs_(thresholdUs), start_(std::chrono::steady_clock::now()) {}

void TimingRecord::Trace(const char* label) {
  using namespace std::chrono;
  const auto now = steady_clock::now();
  const std::int64_t elapsed = duration_cast<microseconds>(now - start_).count();
  if (elapsed < thresholdUs_) return;
  const auto nowMs = static_cast<std::uint32_t>(duration_cast<milliseconds>(now.time_since_epoch()).count());
  channel_.Send(FormatLine(nowMs, label, elapsed));
}

std::string TimingRecord::FormatLine(std::uint32_t nowMs, const char* label, std::int64_t elapsedUs) {
  const std::int64_t us = elapsedUs % 1000;
  const std::int64_t ms = (elapsedUs / 1000) % 1000;
  const std::int64_t s = (elapsedUs / 1000000) % 60;
  const std::int64_t min = elapsedUs / 60000000;
  char buffer[kLineBufferSize];
  std::snprintf(buffer, sizeof buffer, "[%08u] %s %d:%02d.%03d.%03d min\n", nowMs, label, static_cast<int>(min),
                static_cast<int>(s), static_cast<int>(ms), static_cast<int>(us));
  return buffer;
}

}  // namespace stampwise
