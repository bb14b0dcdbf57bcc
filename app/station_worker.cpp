#include "app/station_worker.h"

namespace stampwise {

StationWorker::StationWorker(std::function<void()> attempt)
    : attempt_(std::move(attempt)), thread_([this] { Run(); }) {}

StationWorker::~StationWorker() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void StationWorker::Post() {
  {
    std::lock_guard lock(mutex_);
    ++posted_;
  }
  wake_.notify_one();
}

void StationWorker::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return posted_ > 0 || ending_; });
    if (posted_ == 0) return;
    --posted_;
    lock.unlock();
    attempt_();
    lock.lock();
  }
}

}  // namespace stampwise
