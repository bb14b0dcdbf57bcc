#include "app/job/key_writer.h"

#include <utility>

namespace stampwise {

KeyWriter::KeyWriter(const std::string& fileName, const std::string& logDirectory,
                     std::chrono::milliseconds lockTimeout)
    : settings_(fileName, logDirectory) {
  settings_.SetLockTimeout(lockTimeout);
  thread_ = std::thread([this] { Run(); });
}

KeyWriter::~KeyWriter() {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void KeyWriter::Start(KeyUpdate update) {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    pending_ = std::move(update);
    busy_ = true;
  }
  changed_.notify_all();
}

Status KeyWriter::Finish() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !busy_; });
  if (!failed_) return Done{};
  failed_ = false;
  return Failed{{0, std::exchange(error_, std::string())}};
}

void KeyWriter::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return busy_ || stop_; });
    if (!busy_) return;
    KeyUpdate update = std::move(pending_);
    pending_ = nullptr;
    lock.unlock();
    const bool saved = update(settings_);
    lock.lock();
    if (!saved && !failed_) {
      failed_ = true;
      error_ = settings_.LastError();
    }
    busy_ = false;
    changed_.notify_all();
  }
}

}  // namespace stampwise
