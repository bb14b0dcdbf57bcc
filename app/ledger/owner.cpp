// Who made a claim, and whether that program still runs: a claim left open
// by a program that ended is settled as unknown by the next one, never one
// that another program is still working on.
#include <sys/types.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <fstream>
#include <mutex>
#include <sstream>

#include "app/ledger/ledger.h"

namespace stampwise::ledger {
namespace {

std::string HostName() {
  std::array<char, HOST_NAME_MAX + 1> name{};
  if (::gethostname(name.data(), name.size() - 1) != 0 || name[0] == '\0') return "localhost";
  return name.data();
}

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

}  // namespace

const char* OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::kOpen: return "open";
    case Outcome::kWritten: return "written";
    case Outcome::kFailed: return "failed";
    case Outcome::kUnknown: return "unknown";
    case Outcome::kMismatch: return "mismatch";
  }
  return "unknown";
}

std::optional<Outcome> OutcomeFromName(const std::string& name) {
  for (const Outcome outcome :
       {Outcome::kOpen, Outcome::kWritten, Outcome::kFailed, Outcome::kUnknown, Outcome::kMismatch}) {
    if (name == OutcomeName(outcome)) return outcome;
  }
  return std::nullopt;
}

std::string OwnerId() {
  // Worked out again after a fork: the child is another program, and its
  // claims must not pass for its parent's.
  static std::mutex mutex;
  static pid_t of = 0;
  static std::string id;
  std::lock_guard lock(mutex);
  if (const pid_t self = ::getpid(); self != of) {
    const std::string pid = std::to_string(self);
    id = HostName() + ":" + pid + ":" + StartTimeOf(pid);
    of = self;
  }
  return id;
}

bool OwnerAlive(const std::string& owner) {
  const std::size_t second = owner.rfind(':');
  const std::size_t first =
      second == std::string::npos || second == 0 ? std::string::npos : owner.rfind(':', second - 1);
  if (first == std::string::npos) return true;  // not one of ours: leave it alone
  if (owner.substr(0, first) != HostName()) return true;
  const std::string pid = owner.substr(first + 1, second - first - 1);
  const std::string started = StartTimeOf(pid);
  return !started.empty() && started == owner.substr(second + 1);
}

}  // namespace stampwise::ledger
