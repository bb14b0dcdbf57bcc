// A station's ledger when stations share one in a database: the station's own
// SQLite ledger takes every claim (from leases of the shared pools, stored
// there before use) and keeps the settled ones until the shared ledger has
// them. The station so writes on while the database does not answer, until a
// lease is used up; its claims reach the database later, in order, once.
#pragma once

#include <memory>

#include "app/ledger/pg_ledger.h"
#include "app/ledger/sqlite_ledger.h"

namespace stampwise::ledger {

class SharedLedger final : public Ledger {
 public:
  SharedLedger(std::unique_ptr<SqliteLedger> local, std::unique_ptr<PgLedger> shared);
  // Sends what is left and gives the unused rest of each lease back.
  ~SharedLedger() override;
  SharedLedger(const SharedLedger&) = delete;
  SharedLedger& operator=(const SharedLedger&) = delete;

  std::string Describe() const override { return shared_->Describe(); }
  Result<Claim> Take(const ClaimRequest& request) override;
  Status Settle(Claim& claim, const Settlement& settlement) override;
  Status SettleAndTake(Claim& claim, const Settlement& settlement, const ClaimRequest& next,
                       std::optional<Result<Claim>>& taken) override;
  Status Durable() override;
  Status Locate(Claim& claim, const std::string& tid, const std::string& epcBefore) override;
  Result<bool> Withdraw(const Claim& claim) override;
  Result<Claim> Record(const ClaimRequest& request, const std::string& value, const Settlement& settlement) override;
  Result<std::vector<Claim>> SettleAbandoned(const std::string& message) override;
  Result<std::optional<std::string>> Position(const std::string& pool) override;
  // Takes a lease when the station's is used up, and sends what waits.
  Status Ready(const ClaimRequest& request) override;
  // Every station's claims: only the database has them.
  Result<std::vector<Claim>> List(const ListFilter& filter) override;
  Result<std::vector<Claim>> Unjournaled(const std::string& journal) override;
  void MarkJournaled(const std::vector<std::int64_t>& ids) override;

  // Sends the settled claims the database has not got yet. A database that
  // does not answer is no failure (they wait); a conflict there is.
  Status Send();
  PgLedger& Shared() { return *shared_; }
  SqliteLedger& Local() { return *local_; }

 private:
  std::unique_ptr<SqliteLedger> local_;
  std::unique_ptr<PgLedger> shared_;
};

}  // namespace stampwise::ledger
