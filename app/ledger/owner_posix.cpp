// Which process runs this program on Linux: its id, and its start time from /proc.
#include <sys/types.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "app/ledger/owner_platform.h"

namespace stampwise::ledger {

// Field 22 of /proc/PID/stat: the process's start time in clock ticks since
// boot. Empty when the process does not exist.
std::string StartTimeOf(const std::string& pid) {
  std::ifstream in("/proc/" + pid + "/stat");
  std::string stat;
  if (!std::getline(in, stat)) return {};
  // The command name (field 2) may hold blanks and parentheses: count from
  // the last closing parenthesis.
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return {};
  std::istringstream fields(stat.substr(close + 1));
  std::string field;
  for (int index = 3; index <= 22 && fields >> field; ++index) {
    if (index == 22) return field;
  }
  return {};
}

std::string CurrentProcessId() { return std::to_string(::getpid()); }

}  // namespace stampwise::ledger
