// Who made a claim, and whether that program still runs: a claim left open
// by a program that ended is settled as unknown by the next one, never one
// that another program is still working on.
#include <mutex>

#include "app/base/file_ops.h"
#include "app/ledger/ledger.h"
#include "app/ledger/owner_platform.h"

namespace stampwise::ledger {

namespace {

std::string HostName() {
  const std::string name = MachineName();
  return name.empty() ? "localhost" : name;
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
  static std::string of;
  static std::string id;
  std::lock_guard lock(mutex);
  if (const std::string self = CurrentProcessId(); self != of) {
    id = HostName() + ":" + self + ":" + StartTimeOf(self);
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
