// What owner.cpp needs from each platform (owner_posix.cpp, owner_windows.cpp).
#pragma once

#include <string>

namespace stampwise::ledger {

std::string CurrentProcessId();
// When the process started, as a text that differs for a reused id; empty
// when no such process runs.
std::string StartTimeOf(const std::string& pid);

}  // namespace stampwise::ledger
