// Who reads a link: its worker thread, or a caller that waits for a reply and
// reads the link itself, so that the reply reaches it without a hand-over
// between threads. One of them reads at a time, and the bytes of a read reach
// the sink before the next read begins, so they arrive in order.
//
// The worker never waits for the turn: while a caller holds it, the worker
// leaves the descriptor alone. From a caller's first read on, it stays off the
// link between exchanges too, so a reply wakes only the caller that waits for
// it; a closed link or stray bytes are met by the caller's next read. It
// watches again once a wait that needs its delivery hands the link back
// (HandToWorker), or the link is closed to callers.
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
    callersRead_ = true;
    return true;
  }
  // True when the worker left the link alone and is to be woken now: only
  // once the link is closed to callers or handed back. A caller that met a
  // hang-up or a read error leaves the link to the worker from then on
  // (`keepOpen` false), so it does not poll a dead descriptor.
  [[nodiscard]] bool ReturnFromCaller(bool keepOpen = true) {
    bool wakeWorker;
    {
      std::lock_guard lock(mutex_);
      callerHolds_ = false;
      if (!keepOpen) openToCallers_ = callersRead_ = false;
      wakeWorker = TakeWorkerWake();
    }
    returned_.notify_all();
    return wakeWorker;
  }
  // The next wait takes the worker's delivery: a resting worker watches the
  // link again. True when it needs a wake-up for that.
  [[nodiscard]] bool HandToWorker() {
    std::lock_guard lock(mutex_);
    callersRead_ = false;
    return TakeWorkerWake();
  }

  // False while a caller holds the turn, or while callers read the link and
  // the worker rests: the worker then leaves the link alone (does not even
  // watch it) until it is woken.
  bool WorkerMayWatch() {
    std::lock_guard lock(mutex_);
    const bool leave = callerHolds_ || callersRead_;
    workerSkipped_ = workerSkipped_ || leave;
    return !leave;
  }
  // As WorkerMayWatch; true means the worker holds the turn for one read. A
  // worker woken by bytes before it came to rest still delivers them.
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
  // No caller takes the turn from now on, and the worker watches the link;
  // returns once a caller that holds the turn has returned it. `interrupt`
  // cuts the caller's wait short.
  template <typename Interrupt>
  void CloseToCallers(Interrupt interrupt) {
    std::unique_lock lock(mutex_);
    openToCallers_ = callersRead_ = false;
    if (!callerHolds_) return;
    interrupt();
    returned_.wait(lock, [this] { return !callerHolds_; });
  }

 private:
  // Whether a worker that left the link alone is to be woken now that no
  // caller holds the turn and it need not rest.
  bool TakeWorkerWake() {
    if (!workerSkipped_ || callerHolds_ || callersRead_) return false;
    workerSkipped_ = false;
    return true;
  }

  mutable std::mutex mutex_;
  std::condition_variable returned_;
  bool openToCallers_ = false;
  bool callerHolds_ = false;
  bool workerHolds_ = false;
  bool workerSkipped_ = false;
  bool callersRead_ = false;  // the worker rests between callers' reads
};

}  // namespace qlmkv
