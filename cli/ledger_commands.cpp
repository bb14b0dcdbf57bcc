// `ledger list`: the claims of the ledger, for the operator and for scripts.
#include <nlohmann/json.hpp>

#include "app/gs1_epc.h"
#include "app/job/attempt_recorder.h"
#include "app/ledger/sqlite_ledger.h"
#include "app/strings.h"
#include "cli/commands.h"

namespace stampwise::cli {

int LedgerList(Context& context, const LedgerListOptions& options) {
  Result<std::unique_ptr<ledger::Ledger>> opened = OpenLedgerToRead(context.Ledger());
  if (!opened) {
    context.Out().Error(opened.message().text);
    return kTagFailed;
  }
  const Result<std::vector<ledger::Claim>> claims = opened.value()->List({options.station.value_or(""), ""});
  if (!claims) {
    context.Out().Error(claims.message().text);
    return kTagFailed;
  }
  for (const ledger::Claim& claim : claims.value()) {
    const std::string bank = JournalBankName(claim.bank);
    const std::string bytes = gs1::Hex(claim.bytes);
    const std::string text = claim.claimed + " " + (claim.settled.empty() ? "-" : claim.settled) + " " + claim.station +
                             " " + bank + ":" + std::to_string(claim.start) + " <" + claim.value + "> " +
                             (bytes.empty() ? "-" : bytes) + " " + (claim.tid.empty() ? "-" : claim.tid) + " " +
                             ledger::OutcomeName(claim.outcome) + (claim.reuse ? " reuse" : "");
    context.Out().Print(text, {{"type", "claim"},
                               {"value", ToUtf8(claim.value)},
                               {"bytes", bytes},
                               {"bank", bank},
                               {"start", claim.start},
                               {"station", ToUtf8(claim.station)},
                               {"tid", claim.tid},
                               {"outcome", ledger::OutcomeName(claim.outcome)},
                               {"reuse", claim.reuse},
                               {"claimed", claim.claimed},
                               {"settled", claim.settled}});
  }
  return kSuccess;
}

}  // namespace stampwise::cli
