// A front end's event loop as the wait hooks see it: dispatch blocks until
// woken or its time is up, and the window lock is counted.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "reader/rdr.h"

namespace qlmkv::test {

struct FakeEventLoop {
  std::mutex mutex;
  std::condition_variable cv;
  bool woken = false;
  int dispatches = 0;
  int wokenReturns = 0;
  int locks = 0;
  int unlocks = 0;
  void* savedSeen = nullptr;

  static void Dispatch(void* context, int maxBlockMs) {
    auto* self = static_cast<FakeEventLoop*>(context);
    std::unique_lock lock(self->mutex);
    ++self->dispatches;
    if (self->cv.wait_for(lock, std::chrono::milliseconds(maxBlockMs), [self] { return self->woken; })) {
      ++self->wokenReturns;
    }
    self->woken = false;
  }
  static void Wake(void* context) {
    auto* self = static_cast<FakeEventLoop*>(context);
    {
      std::lock_guard lock(self->mutex);
      self->woken = true;
    }
    self->cv.notify_all();
  }
  static void* Lock(void* context) {
    auto* self = static_cast<FakeEventLoop*>(context);
    std::lock_guard lock(self->mutex);
    ++self->locks;
    return self;
  }
  static void Unlock(void* context, void* saved) {
    auto* self = static_cast<FakeEventLoop*>(context);
    std::lock_guard lock(self->mutex);
    ++self->unlocks;
    self->savedSeen = saved;
  }
};

// Sets the dispatch hooks to `loop` for its lifetime.
class DispatchingTo {
 public:
  explicit DispatchingTo(FakeEventLoop& loop) {
    RdrSetDispatchHooks(&FakeEventLoop::Dispatch, &FakeEventLoop::Wake, &loop);
  }
  ~DispatchingTo() { RdrSetDispatchHooks(nullptr, nullptr, nullptr); }
  DispatchingTo(const DispatchingTo&) = delete;
  DispatchingTo& operator=(const DispatchingTo&) = delete;
};

}  // namespace qlmkv::test
