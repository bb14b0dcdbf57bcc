#include "app/ledger/shared_ledger.h"

namespace stampwise::ledger {
namespace {

// Claims sent in one transaction.
constexpr int kBatch = 200;

}  // namespace

SharedLedger::SharedLedger(std::unique_ptr<SqliteLedger> local, std::unique_ptr<PgLedger> shared)
    : local_(std::move(local)), shared_(std::move(shared)) {
  local_->SetLeaseKeeper(shared_.get());
}

SharedLedger::~SharedLedger() {
  shared_->RetryNow();
  Send();
  const Result<std::vector<HeldLease>> leases = local_->OwnLeases();
  if (!leases) return;
  for (const HeldLease& lease : leases.value()) {
    // A lease that cannot be given back now stays this station's: the next
    // program of the station takes it up.
    if (shared_->GiveBack(lease.pool, lease.progress, lease.end)) local_->DropLease(lease.pool);
  }
}

Status SharedLedger::Send() {
  const Result<std::string> origin = local_->Origin();
  if (!origin) return Status::Failure(origin.message());
  for (;;) {
    Result<std::vector<Claim>> claims = local_->Unshared(kBatch);
    if (!claims) return Status::Failure(claims.message());
    if (claims.value().empty()) return Done{};
    std::optional<Message> conflict;
    // A database that does not answer gets them later.
    if (!shared_->Send(origin.value(), claims.value(), conflict)) return Done{};
    std::vector<std::int64_t> ids;
    for (const Claim& claim : claims.value()) ids.push_back(claim.id);
    if (const Status marked = local_->MarkShared(ids); !marked) return marked;
    if (conflict) return Status::Failure(*conflict);
    if (static_cast<int>(ids.size()) < kBatch) return Done{};
  }
}

Result<Claim> SharedLedger::Take(const ClaimRequest& request) { return local_->Take(request); }

Status SharedLedger::SettleAndTake(Claim& claim, const Settlement& settlement, const ClaimRequest& next,
                                   std::optional<Result<Claim>>& taken) {
  if (const Status settled = local_->SettleAndTake(claim, settlement, next, taken); !settled) return settled;
  return Send();
}

Status SharedLedger::Durable() { return local_->Durable(); }

Status SharedLedger::Locate(Claim& claim, const std::string& tid, const std::string& epcBefore) {
  return local_->Locate(claim, tid, epcBefore);
}

// An open claim was never sent: the database does not learn of it.
Result<bool> SharedLedger::Withdraw(const Claim& claim) { return local_->Withdraw(claim); }

Status SharedLedger::Settle(Claim& claim, const Settlement& settlement) {
  if (const Status settled = local_->Settle(claim, settlement); !settled) return settled;
  return Send();
}

Result<Claim> SharedLedger::Record(const ClaimRequest& request, const std::string& value,
                                   const Settlement& settlement) {
  Result<Claim> recorded = local_->Record(request, value, settlement);
  if (!recorded) return recorded;
  if (const Status sent = Send(); !sent) return Result<Claim>::Failure(sent.message());
  return recorded;
}

Result<std::vector<Claim>> SharedLedger::SettleAbandoned(const std::string& message) {
  Result<std::vector<Claim>> settled = local_->SettleAbandoned(message);
  if (!settled) return settled;
  if (const Status sent = Send(); !sent) return Result<std::vector<Claim>>::Failure(sent.message());
  return settled;
}

Result<std::optional<std::string>> SharedLedger::Position(const std::string& pool) { return local_->Position(pool); }

Status SharedLedger::Ready(const ClaimRequest& request) {
  if (const Status ready = local_->Ready(request); !ready) return ready;
  return Send();
}

Result<std::vector<Claim>> SharedLedger::List(const ListFilter& filter) {
  // What this station settled last is there too.
  Send();
  return shared_->List(filter);
}

Result<std::vector<Claim>> SharedLedger::Unjournaled(const std::string& journal) {
  return local_->Unjournaled(journal);
}

void SharedLedger::MarkJournaled(const std::vector<std::int64_t>& ids) { local_->MarkJournaled(ids); }

}  // namespace stampwise::ledger
