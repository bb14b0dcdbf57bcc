#include "app/ledger/lease.h"

#include <set>

#include "app/texts/messages.h"
#include "app/texts/strings.h"

namespace stampwise::ledger {

Result<Lease> PlanLease(const std::optional<std::string>& start, int size, const PlanFunction& plan,
                        const std::string& shown) {
  Lease lease;
  lease.start = start;
  std::optional<std::string> position = start;
  std::set<Bytes> seen;
  for (int taken = 0; taken < size; ++taken) {
    Result<Plan> planned = plan(position);
    if (!planned) {
      if (taken == 0) return Result<Lease>::Failure(planned.message());
      break;
    }
    const Plan& value = planned.value();
    // A value the operator gave stays the same whatever the position: it is
    // the block's only one.
    if (!value.advances || !seen.insert(value.bytes).second) {
      if (taken == 0) {
        return Result<Lease>::Failure(
            Message{msg::kSharedLeaseOutside, FormatString(msg::kSharedLeaseOutside, {value.value, shown}), 0});
      }
      break;
    }
    if (taken == 0) lease.first = value.value;
    lease.last = value.value;
    lease.bytes.push_back(value.bytes);
    lease.end = value.next;
    position = value.next;
  }
  return lease;
}

}  // namespace stampwise::ledger
