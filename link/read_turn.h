// Who reads a link: its worker thread, or a caller that waits for a reply and
// reads the link itself, so that the reply reaches it without a hand-over
// between threads. One of them reads at a time, and the bytes of a read reach
// the sink before the next read begins, so they arrive in order.
//
// The worker never waits for the turn: while a caller holds it, the worker
// leaves the descriptor alone and the caller wakes it when it returns the turn
// (only then, so an exchange costs no wake-up of the worker otherwise).
#pragma once

#include <condition_variable>
#include <mutex>

namespace qlmkv {

class ReadTurn {
 public:
  // Taken by a caller unless the link is closed to callers; waits while the
  // worker delivers a read.
  bool TakeForCaller() {
    std::unique_lock lock(mutex_);
    returned_.wait(lock, [this] { return !workerHolds_; });
    if (!openToCallers_) return false;
    callerHolds_ = true;
    return true;
  }
  // True when the worker left the link alone meanwhile and wants a wake-up.
  // A caller that met a hang-up or a read error leaves the link to the worker
  // from then on (`keepOpen` false), so it does not poll a dead descriptor.
  [[nodiscard]] bool ReturnFromCaller(bool keepOpen = true) {
    bool wakeWorker;
    {
      std::lock_guard lock(mutex_);
      callerHolds_ = false;
      if (!keepOpen) openToCallers_ = false;
      wakeWorker = workerSkipped_;
      workerSkipped_ = false;
    }
    returned_.notify_all();
    return wakeWorker;
  }

  // False while a caller holds the turn: the worker then leaves the link
  // alone (does not even watch it) until the caller has woken it.
  bool WorkerMayWatch() {
    std::lock_guard lock(mutex_);
    workerSkipped_ = workerSkipped_ || callerHolds_;
    return !callerHolds_;
  }
  // As WorkerMayWatch; true means the worker holds the turn for one read.
  bool TryTakeForWorker() {
    std::lock_guard lock(mutex_);
    if (callerHolds_) {
      workerSkipped_ = true;
      return false;
    }
    workerHolds_ = true;
    return true;
  }
  void ReturnFromWorker() {
    {
      std::lock_guard lock(mutex_);
      workerHolds_ = false;
    }
    returned_.notify_all();
  }
  // Callers may read the link (it is open and connected).
  void OpenToCallers() {
    std::lock_guard lock(mutex_);
    openToCallers_ = true;
  }
  // No caller takes the turn from now on; returns once one that holds it has
  // returned it. `interrupt` cuts the caller's wait short.
  template <typename Interrupt>
  void CloseToCallers(Interrupt interrupt) {
    std::unique_lock lock(mutex_);
    openToCallers_ = false;
    if (!callerHolds_) return;
    interrupt();
    returned_.wait(lock, [this] { return !callerHolds_; });
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable returned_;
  bool openToCallers_ = false;
  bool callerHolds_ = false;
  bool workerHolds_ = false;
  bool workerSkipped_ = false;
};

}  // namespace qlmkv
