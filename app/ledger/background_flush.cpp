#include "app/ledger/background_flush.h"

#include <utility>

namespace stampwise::ledger {

BackgroundFlush::~BackgroundFlush() {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !pending_ && !running_; });
    quit_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void BackgroundFlush::Start(Flush flush) {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !pending_ && !running_; });
    pending_ = std::move(flush);
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
  }
  changed_.notify_all();
}

std::optional<std::string> BackgroundFlush::Wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !pending_ && !running_; });
  return std::exchange(failure_, std::nullopt);
}

void BackgroundFlush::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return quit_ || pending_; });
    if (quit_) return;
    Flush flush = std::move(pending_);
    pending_ = nullptr;
    running_ = true;
    lock.unlock();
    std::optional<std::string> failed = flush();
    lock.lock();
    running_ = false;
    if (failed && !failure_) failure_ = std::move(failed);
    changed_.notify_all();
  }
}

}  // namespace stampwise::ledger
