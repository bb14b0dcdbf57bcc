#include "reader/wait_clock.h"

namespace qlmkv {
namespace {

class SteadyClock final : public WaitClock {
 public:
  TimePoint Now() override { return std::chrono::steady_clock::now(); }
  void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& signal, TimePoint until,
                 const std::function<bool()>& ready) override {
    signal.wait_until(lock, until, ready);
  }
};

}  // namespace

WaitClock& SteadyWaitClock() {
  static SteadyClock clock;
  return clock;
}

}  // namespace qlmkv
