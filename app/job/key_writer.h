// Writes the settings keys that follow a job's values ("LastData",
// "NextUri", a list's position) on a thread of its own. Rewriting the
// settings file (a new file renamed over the old one) costs about as much as
// the ledger's durable commit; done here, it runs while the tag is written
// instead of before it. One write at a time: a new one, and the end of the
// job, wait for the one before.
//
// The thread has its own handle of the settings file (a Settings object is
// for one thread); the file's lock keeps it apart from the front end's.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "app/store/settings.h"

namespace stampwise {

// A change of the stored keys, taken with everything it writes: it runs
// later, on the key writer's thread. False when the file could not be saved.
using KeyUpdate = std::function<bool(Settings&)>;

class KeyWriter {
 public:
  KeyWriter(const std::string& fileName, const std::string& logDirectory, std::chrono::milliseconds lockTimeout);
  ~KeyWriter();  // finishes the write under way
  KeyWriter(const KeyWriter&) = delete;
  KeyWriter& operator=(const KeyWriter&) = delete;

  // Starts `update` once the write under way is done.
  void Start(KeyUpdate update);
  // Waits for the write under way. Fails, saying why, when a write since the
  // last call failed.
  Status Finish();

 private:
  void Run();

  Settings settings_;
  std::mutex mutex_;
  std::condition_variable changed_;
  KeyUpdate pending_;
  bool busy_ = false;
  bool stop_ = false;
  std::string error_;  // of a failed write not yet reported
  bool failed_ = false;
  std::thread thread_;
};

}  // namespace stampwise
