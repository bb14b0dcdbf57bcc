#include "app/job/beeper.h"

namespace stampwise {

Beeper::Beeper() : worker_([this](std::stop_token stop) { Run(stop); }) {}

Beeper::~Beeper() {
  worker_.request_stop();
  wake_.notify_all();
}

void Beeper::Beep(int durationMs) {
  if (durationMs <= 0) return;
  {
    std::lock_guard lock(mutex_);
    pendingMs_ = durationMs;
    ++requested_;
  }
  wake_.notify_all();
}

int Beeper::Requested() const {
  std::lock_guard lock(mutex_);
  return requested_;
}

void Beeper::Run(std::stop_token stop) {
  std::unique_lock lock(mutex_);
  while (!stop.stop_requested()) {
    if (!wake_.wait(lock, stop, [this] { return pendingMs_ > 0; })) break;
    const int ms = pendingMs_;
    pendingMs_ = 0;
    lock.unlock();
    PlayTone(440, ms);
    lock.lock();
  }
}

}  // namespace stampwise
