// Which process runs this program on Windows: its id, and its creation time.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/ledger/owner_platform.h"

namespace stampwise::ledger {

std::string CurrentProcessId() { return std::to_string(::GetCurrentProcessId()); }

// The creation time in 100 ns ticks; empty when the process has ended.
std::string StartTimeOf(const std::string& pid) {
  char* end = nullptr;
  const unsigned long id = std::strtoul(pid.c_str(), &end, 10);
  if (pid.empty() || *end != '\0') return {};
  HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
  if (process == nullptr) return {};
  FILETIME created{}, exited{}, kernel{}, user{};
  DWORD code = 0;
  std::string started;
  if (::GetProcessTimes(process, &created, &exited, &kernel, &user) && ::GetExitCodeProcess(process, &code) &&
      code == STILL_ACTIVE) {
    started = std::to_string((std::uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime);
  }
  ::CloseHandle(process);
  return started;
}

}  // namespace stampwise::ledger
