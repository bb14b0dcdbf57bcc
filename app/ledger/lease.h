// A block of a shared pool's values that one station holds. It is taken from
// the shared ledger in one transaction and stored in the station's own ledger
// before its first value is used, so the station writes on from it while the
// shared ledger does not answer. Blocks never overlap: the pool's position
// moves past a block when it is taken.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/ledger/ledger.h"

namespace stampwise::ledger {

using PlanFunction = std::function<Result<Plan>(const std::optional<std::string>& position)>;

struct Lease {
  std::optional<std::string> start;  // the pool's position the block begins at
  std::string end;                   // the position after its last value
  std::vector<Bytes> bytes;          // its values' bytes, in order
  std::string first;                 // its first value
  std::string last;                  // its last value
};

// Plans up to `size` values from `start` with the source's own rules. Stops
// early where the source runs out, or at a value that would not move the
// position on (a value the operator gave, outside the pool's order). Fails
// when not even the first value can be planned.
// `shown`: the pool as messages name it.
Result<Lease> PlanLease(const std::optional<std::string>& start, int size, const PlanFunction& plan,
                        const std::string& shown);

// Where leases come from: the shared ledger.
class LeaseKeeper {
 public:
  virtual ~LeaseKeeper() = default;
  // A new block of `pool` for this program (`owner`) at `station`. `local` is
  // the station's own position, the start of a pool nobody used before.
  // `previousEnd`: the end of the lease it replaces, closed with it.
  // `shown`: the pool as messages name it.
  virtual Result<Lease> TakeLease(const std::string& station, const std::string& pool,
                                  const std::optional<std::string>& local,
                                  const std::optional<std::string>& previousEnd, const PlanFunction& plan,
                                  const std::string& shown) = 0;
  // Bytes held at a bank and start word already: when, by which station,
  // with which outcome (for the refusal of a value outside every lease).
  virtual std::optional<Message> UsedBefore(int bank, int start, const Bytes& bytes) = 0;
};

}  // namespace stampwise::ledger
