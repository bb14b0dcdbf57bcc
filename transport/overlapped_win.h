// Win32 pieces the Windows transports share: the system's text for an error
// code (from common/), a manual-reset event, and ending an overlapped
// operation in bounded time.
#pragma once

#include <windows.h>

#include <string>

#include "common/windows_text.h"

namespace qlmkv {

using common::SystemMessage;

// A manual-reset event, not signalled at first; null when it could not be made.
class Event {
 public:
  Event() : handle_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~Event() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

// Waits up to `waitMs` for the overlapped operation under way on `file`,
// cancels it when it is not done by then, and collects its result. The
// operation is over on return, so its record and buffer may go. False when it
// failed or was cancelled: GetLastError tells which (ERROR_OPERATION_ABORTED).
bool FinishOverlapped(HANDLE file, OVERLAPPED& operation, DWORD waitMs, DWORD& transferred);

}  // namespace qlmkv
