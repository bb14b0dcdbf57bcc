// A COM port is no file: the DOS device table tells whether it is there.
#include <windows.h>

#include "app/base/windows_text.h"
#include "app/connection/device_presence.h"

namespace stampwise {

bool DeviceFileGone(const std::string& file) {
  std::string name = file;
  if (name.rfind("\\\\.\\", 0) == 0) name.erase(0, 4);
  wchar_t target[1024];
  if (::QueryDosDeviceW(WideText(name).c_str(), target, 1024) != 0) return false;
  return ::GetLastError() == ERROR_FILE_NOT_FOUND;
}

}  // namespace stampwise
