#include "transport/overlapped_win.h"

namespace qlmkv {

std::string SystemMessage(DWORD code) {
  char* text = nullptr;
  const DWORD size =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = size > 0 && text != nullptr ? std::string(text, size) : "error " + std::to_string(code);
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
    message.pop_back();
  return message;
}

bool FinishOverlapped(HANDLE file, OVERLAPPED& operation, DWORD waitMs, DWORD& transferred) {
  if (WaitForSingleObject(operation.hEvent, waitMs) != WAIT_OBJECT_0) CancelIoEx(file, &operation);
  // A cancel that comes too late leaves the operation's own result.
  return GetOverlappedResult(file, &operation, &transferred, TRUE) != 0;
}

}  // namespace qlmkv
