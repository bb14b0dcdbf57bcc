#include "app/station/station_worker.h"

namespace stampwise {

StationWorker::StationWorker(std::function<void()> attempt, std::function<bool()> resume)
    : attempt_(std::move(attempt)), resume_(std::move(resume)), thread_([this] { Run(); }) {}

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
  bool resuming = false;
  const auto due = [this] { return posted_ > 0 || ending_; };
  for (;;) {
    if (!resuming) {
      wake_.wait(lock, due);
    } else if (!wake_.wait_for(lock, kResumePause, due)) {
      lock.unlock();
      resuming = resume_();
      lock.lock();
      continue;
    }
    if (posted_ == 0) return;
    --posted_;
    lock.unlock();
    attempt_();
    resuming = static_cast<bool>(resume_);
    lock.lock();
  }
}

}  // namespace stampwise
