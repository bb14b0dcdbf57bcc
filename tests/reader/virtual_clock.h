// A clock for the reply wait that costs no real time: every wait that would
// block jumps the clock to its end, and each reading moves it on a little, so
// a time-out comes after a handful of passes.
#pragma once

#include <chrono>

#include "reader/wait_clock.h"

namespace qlmkv::test {

class VirtualWaitClock final : public WaitClock {
 public:
  TimePoint Now() override {
    now_ += std::chrono::microseconds(1);
    return now_;
  }
  void WaitUntil(std::unique_lock<std::mutex>& /*lock*/, std::condition_variable& /*signal*/, TimePoint until,
                 const std::function<bool()>& ready) override {
    if (!ready() && until > now_) now_ = until;
  }
  std::chrono::steady_clock::duration Elapsed() const { return now_ - TimePoint{}; }

 private:
  TimePoint now_{};
};

}  // namespace qlmkv::test
