// The process-wide hooks that let a front end keep its window alive while a
// reply is awaited (dispatch/wake) and keep the user out meanwhile (window lock).
#pragma once

#include "reader/rdr.h"

namespace qlmkv {

struct DispatchHooks {
  RdrDispatchHook dispatch = nullptr;
  RdrWakeHook wake = nullptr;
  void* context = nullptr;
};

struct WindowLockHooks {
  RdrLockWindowHook lock = nullptr;
  RdrUnlockWindowHook unlock = nullptr;
  void* context = nullptr;
};

// Each getter returns a consistent copy, so a wait keeps the hooks it started with.
DispatchHooks CurrentDispatchHooks();
WindowLockHooks CurrentWindowLockHooks();
void SetDispatchHooks(const DispatchHooks& hooks);
void SetWindowLockHooks(const WindowLockHooks& hooks);

// Holds the window lock for one wait and releases it on every path.
class WindowLockGuard {
 public:
  explicit WindowLockGuard(bool skip);
  ~WindowLockGuard();
  WindowLockGuard(const WindowLockGuard&) = delete;
  WindowLockGuard& operator=(const WindowLockGuard&) = delete;

 private:
  WindowLockHooks hooks_;
  bool locked_ = false;
  void* saved_ = nullptr;
};

}  // namespace qlmkv
