// The time source of the reply wait. Connections use the steady clock; tests
// and the fuzzer put in a clock of their own, so that a time-out costs no real
// time.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace qlmkv {

class WaitClock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  virtual ~WaitClock() = default;
  virtual TimePoint Now() = 0;
  // Blocks on `signal` (`lock` held on entry and on return) until `ready()`
  // holds or `until` has come.
  virtual void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& signal, TimePoint until,
                         const std::function<bool()>& ready) = 0;
};

// The steady clock, shared by every connection.
WaitClock& SteadyWaitClock();

}  // namespace qlmkv
