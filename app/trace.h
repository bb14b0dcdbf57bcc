// Diagnostic timing lines for an external trace viewer. The viewer listens on
// an abstract Unix datagram socket; each line goes out in 4-byte datagrams
// under a file lock shared by all processes, so lines never interleave. With
// no viewer running nothing is sent and no lock file is touched.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace stampwise {

class TraceChannel {
 public:
  // `socketName` is the abstract socket name of the viewer; `lockPath` the lock
  // file (empty: "$XDG_RUNTIME_DIR/VexTracerLock", or /tmp when unset).
  explicit TraceChannel(std::string socketName = "VexTracer", std::string lockPath = {});

  // Formats like printf into at most 511 characters and sends the text.
  // Returns false when no viewer listens.
  bool Trace(const char* format, ...) __attribute__((format(printf, 2, 3)));
  bool Send(const std::string& text);

  // The process-wide channel used by the inventory timing.
  static TraceChannel& Default();

 private:
  std::string socketName_;
  std::string lockPath_;
};

// Measures the time since its creation and traces it with a label.
class TimingRecord {
 public:
  TimingRecord(TraceChannel& channel, std::int64_t thresholdUs);
  void Trace(const char* label);

  // "[%08u] %s %d:%02d.%03d.%03d min\n" for a timestamp and an elapsed time.
  static std::string FormatLine(std::uint32_t nowMs, const char* label, std::int64_t elapsedUs);

 private:
  TraceChannel& channel_;
  std::int64_t thresholdUs_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace stampwise
