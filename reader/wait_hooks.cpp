#include "reader/wait_hooks.h"

#include <mutex>

#include "lan/idle_wait.h"

namespace qlmkv {

namespace {

// Plain globals with constant initialisation: usable from worker threads even
// while statics are being torn down at exit.
std::mutex g_hooksMutex;
DispatchHooks g_dispatch;
WindowLockHooks g_windowLock;

// The LAN waits hand their time to the front end through the hooks in place
// at each pass.
void DispatchForLan(int maxBlockMs) {
  const DispatchHooks hooks = CurrentDispatchHooks();
  if (hooks.dispatch != nullptr) hooks.dispatch(hooks.context, maxBlockMs);
}

}  // namespace

DispatchHooks CurrentDispatchHooks() {
  std::lock_guard lock(g_hooksMutex);
  return g_dispatch;
}

WindowLockHooks CurrentWindowLockHooks() {
  std::lock_guard lock(g_hooksMutex);
  return g_windowLock;
}

void SetDispatchHooks(const DispatchHooks& hooks) {
  {
    std::lock_guard lock(g_hooksMutex);
    g_dispatch = hooks;
  }
  lan::SetIdlePass(hooks.dispatch != nullptr ? DispatchForLan : nullptr);
}

void SetWindowLockHooks(const WindowLockHooks& hooks) {
  std::lock_guard lock(g_hooksMutex);
  g_windowLock = hooks;
}

WindowLockGuard::WindowLockGuard(bool skip) {
  if (skip) return;
  hooks_ = CurrentWindowLockHooks();
  locked_ = true;
  if (hooks_.lock != nullptr) saved_ = hooks_.lock(hooks_.context);
}

WindowLockGuard::~WindowLockGuard() {
  if (locked_ && hooks_.unlock != nullptr) hooks_.unlock(hooks_.context, saved_);
}

}  // namespace qlmkv
