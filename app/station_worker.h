// Runs a station's attempts on a thread of its own, one at a time, for a
// front end whose own thread serves the PLC (the command line tool). The
// thread owns the tag writer while it lives: nothing else may call it.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace stampwise {

class StationWorker {
 public:
  explicit StationWorker(std::function<void()> attempt);
  // Finishes the attempt in hand (and one posted before), then ends.
  ~StationWorker();
  StationWorker(const StationWorker&) = delete;
  StationWorker& operator=(const StationWorker&) = delete;

  // Any thread: run the attempt once more.
  void Post();

 private:
  void Run();

  std::function<void()> attempt_;
  std::mutex mutex_;
  std::condition_variable wake_;
  int posted_ = 0;
  bool ending_ = false;
  std::thread thread_;
};

}  // namespace stampwise
