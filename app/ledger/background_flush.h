// One flush to disk at a time on a thread of its own, so that the caller can
// go on with other work (looking for the next tag) while the disk catches up,
// and wait for it only where it must be done.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace stampwise::ledger {

class BackgroundFlush {
 public:
  // `flush` returns nothing when done, else why the disk refused.
  using Flush = std::function<std::optional<std::string>()>;

  BackgroundFlush() = default;
  // Waits for a flush under way.
  ~BackgroundFlush();
  BackgroundFlush(const BackgroundFlush&) = delete;
  BackgroundFlush& operator=(const BackgroundFlush&) = delete;

  // Starts `flush` after waiting for the one before. What it touches must
  // stay untouched by the caller until Wait returns.
  void Start(Flush flush);
  // Waits for the flush under way (if any); the reason of the first one that
  // failed since the last call, then forgotten.
  std::optional<std::string> Wait();

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable changed_;
  Flush pending_;
  bool running_ = false;  // pending_ taken and under way
  bool quit_ = false;
  std::optional<std::string> failure_;
  std::thread thread_;  // started with the first flush
};

}  // namespace stampwise::ledger
