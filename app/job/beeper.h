// The success beep: a 440 Hz tone of the configured length, played on a
// worker thread so the write cycle is never held up by the sound device.
// Without a sound library or device the beep is silent; nothing else changes.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

namespace stampwise {

class Beeper {
 public:
  Beeper();
  ~Beeper();
  Beeper(const Beeper&) = delete;
  Beeper& operator=(const Beeper&) = delete;

  // Queues one tone; a request arriving while one is still waiting replaces it.
  // 0 ms (or less) plays nothing.
  void Beep(int durationMs);

  // Number of tones played or attempted so far (for tests and diagnostics).
  int Requested() const;

 private:
  void Run(std::stop_token stop);

  mutable std::mutex mutex_;
  std::condition_variable_any wake_;
  int pendingMs_ = 0;
  int requested_ = 0;
  std::jthread worker_;
};

// Plays a sine tone synchronously; false when no sound output is available.
bool PlayTone(int frequencyHz, int durationMs);

}  // namespace stampwise
