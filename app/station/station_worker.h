// Runs a station's attempts on a thread of its own, one at a time, for a
// front end whose own thread serves the PLC (the command line tool). The
// thread owns the tag writer while it lives: nothing else may call it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace stampwise {

class StationWorker {
 public:
  // How often a waiting station is resumed (its ledger keeps its own,
  // longer pause between tries).
  static constexpr std::chrono::milliseconds kResumePause{1000};

  // `attempt` runs one posted attempt. `resume` (if any) is called
  // kResumePause after an attempt and again every kResumePause while it
  // returns true (the station waits for its shared ledger), never beside an
  // attempt.
  explicit StationWorker(std::function<void()> attempt, std::function<bool()> resume = {});
  // Finishes the attempt in hand (and one posted before), then ends; a wait
  // ends at once.
  ~StationWorker();
  StationWorker(const StationWorker&) = delete;
  StationWorker& operator=(const StationWorker&) = delete;

  // Any thread: run the attempt once more.
  void Post();

 private:
  void Run();

  std::function<void()> attempt_;
  std::function<bool()> resume_;
  std::mutex mutex_;
  std::condition_variable wake_;
  int posted_ = 0;
  bool ending_ = false;
  std::thread thread_;
};

}  // namespace stampwise
