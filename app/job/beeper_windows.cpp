// The tone on Windows: Beep, which plays on the sound device and returns when
// the tone has ended (the beeper's own thread waits, not the cycle).
#include <windows.h>

#include "app/job/beeper.h"

namespace stampwise {

bool PlayTone(int frequencyHz, int durationMs) {
  if (durationMs <= 0) return false;
  return ::Beep(static_cast<DWORD>(frequencyHz), static_cast<DWORD>(durationMs)) != 0;
}

}  // namespace stampwise
