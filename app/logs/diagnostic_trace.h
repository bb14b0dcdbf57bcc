// Diagnostic timing lines for an external trace viewer. The viewer listens on
// a Unix datagram socket "VexTracer" in the user's private runtime folder;
// each line goes out in 4-byte datagrams under the file lock "VexTracerLock"
// beside it, shared by all processes, so lines never interleave. With no
// viewer running nothing is sent and no lock file is touched.
//
// The channel never holds the program up and never talks to another user:
// sends do not block (a slow viewer loses the rest of the line), a lock held
// elsewhere drops the line instead of waiting, and only a folder that is the
// user's own and closed to everyone else, holding a socket of the user, is
// used (a socket name outside it could be taken by any account).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace stampwise {

class TraceChannel {
 public:
  // `folder` holds the viewer's socket and the lock; empty: $XDG_RUNTIME_DIR
  // (no trace without it).
  explicit TraceChannel(std::string folder = {});

  // Formats like printf into at most 511 characters and sends the text.
  // Returns false when nothing or not all of it was sent.
  bool Trace(const char* format, ...) __attribute__((format(printf, 2, 3)));
  bool Send(const std::string& text);

  // The process-wide channel used by the inventory timing.
  static TraceChannel& Default();

 private:
  static constexpr std::size_t kBufferSize = 512;
  std::string folder_;
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
