#include "transport/overlapped_win.h"

namespace qlmkv {

bool FinishOverlapped(HANDLE file, OVERLAPPED& operation, DWORD waitMs, DWORD& transferred) {
  if (WaitForSingleObject(operation.hEvent, waitMs) != WAIT_OBJECT_0) CancelIoEx(file, &operation);
  // A cancel that comes too late leaves the operation's own result.
  return GetOverlappedResult(file, &operation, &transferred, TRUE) != 0;
}

}  // namespace qlmkv
