// `ledger leases`: a shared ledger's pools and the blocks stations hold.
#include <nlohmann/json.hpp>

#include "app/ledger/open_ledger.h"
#include "app/ledger/pg_ledger.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "cli/commands.h"

namespace stampwise::cli {

int LedgerLeases(Context& context) {
  const std::string& where = context.Ledger();
  if (!ledger::IsSharedLedgerUri(where)) {
    context.Out().Error(FormatString(msg::kLedgerFailed, {where, "leases are kept by a shared ledger only"}));
    return kBadArguments;
  }
  ledger::PgLedger shared(where, ledger::kDefaultLeaseSize);
  // Both read before anything is printed: never half an answer.
  const Result<std::vector<ledger::PoolState>> pools = shared.Pools();
  const Result<std::vector<ledger::OpenLease>> leases =
      pools ? shared.Leases() : Result<std::vector<ledger::OpenLease>>::Failure(pools.message());
  if (!leases) {
    context.Out().Error(leases.message().text);
    return kTagFailed;
  }
  for (const ledger::PoolState& pool : pools.value()) {
    context.Out().Print("pool " + pool.pool + " next " + pool.next,
                        {{"type", "pool"}, {"pool", ToUtf8(pool.pool)}, {"next", ToUtf8(pool.next)}});
  }
  for (const ledger::OpenLease& lease : leases.value()) {
    context.Out().Print("lease " + lease.pool + " " + lease.station + " " + lease.first + " .. " + lease.last,
                        {{"type", "lease"},
                         {"pool", ToUtf8(lease.pool)},
                         {"station", ToUtf8(lease.station)},
                         {"first", ToUtf8(lease.first)},
                         {"last", ToUtf8(lease.last)}});
  }
  return kSuccess;
}

}  // namespace stampwise::cli
