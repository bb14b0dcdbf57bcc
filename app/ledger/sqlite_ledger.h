// The ledger in an SQLite database: the default, one file per user, shared by
// the programs of one machine that name the same file. WAL mode; a claim is a
// transaction committed with a full sync (for a claim made ahead of its tag,
// run on a thread of its own, see ClaimRequest::flushLater), the settling of
// an outcome one committed without (it survives a killed program, and the next
// claim's sync carries it to the disk).
#pragma once

#include <map>
#include <memory>
#include <string>

#include "app/ledger/background_flush.h"
#include "app/ledger/lease.h"
#include "app/ledger/ledger.h"

struct sqlite3;
struct sqlite3_stmt;

namespace stampwise::ledger {

// A lease this program holds, as its station's ledger keeps it.
struct HeldLease {
  std::string pool;
  std::optional<std::string> progress;  // the position of its next value
  std::string end;                      // the position after its last value
};

// "<XDG_DATA_HOME or ~/.local/share>/QL-MKV Stampwise/Ledger.sqlite3".
std::string DefaultLedgerFile();

class SqliteLedger final : public Ledger {
 public:
  // Opens or creates the database (and its folder) and brings its schema up
  // to date. The message names the file and the reason when it cannot.
  // `create`: a missing ledger (and its folder) is made; else it is refused.
  static Result<std::unique_ptr<SqliteLedger>> Open(const std::string& path, bool create = true);
  ~SqliteLedger() override;
  SqliteLedger(const SqliteLedger&) = delete;
  SqliteLedger& operator=(const SqliteLedger&) = delete;

  std::string Describe() const override { return path_; }
  Result<Claim> Take(const ClaimRequest& request) override;
  Status Settle(Claim& claim, const Settlement& settlement) override;
  Status SettleAndTake(Claim& claim, const Settlement& settlement, const ClaimRequest& next,
                       std::optional<Result<Claim>>& taken) override;
  // A claim taken with flushLater is on disk once its log's sync, run on a
  // thread of its own, is done.
  Status Durable() override;
  Status Locate(Claim& claim, const std::string& tid, const std::string& epcBefore) override;
  Result<bool> Withdraw(const Claim& claim) override;
  Result<Claim> Record(const ClaimRequest& request, const std::string& value, const Settlement& settlement) override;
  Result<std::vector<Claim>> SettleAbandoned(const std::string& message) override;
  Result<std::optional<std::string>> Position(const std::string& pool) override;
  Status Ready(const ClaimRequest& request) override;
  Result<std::vector<Claim>> List(const ListFilter& filter) override;
  Result<std::vector<Claim>> Unjournaled(const std::string& journal) override;
  void MarkJournaled(const std::vector<std::int64_t>& ids) override;

  // SQLite's own check of the file; "ok" when it is whole.
  std::string IntegrityCheck();

  // With a keeper (a shared ledger), every advancing value comes from a
  // lease this ledger holds, and claims are kept for sending on.
  void SetLeaseKeeper(LeaseKeeper* keeper) { keeper_ = keeper; }
  // Settled claims the shared ledger has not got yet, in the order they were
  // settled; MarkShared notes it has.
  Result<std::vector<Claim>> Unshared(int limit);
  Status MarkShared(const std::vector<std::int64_t>& ids);
  // This ledger's name in a shared one (made with the ledger).
  Result<std::string> Origin();
  Result<std::vector<HeldLease>> OwnLeases();
  Status DropLease(const std::string& pool);

 private:
  class Statement;
  class Transaction;
  SqliteLedger(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}

  Status Migrate();
  void SwitchToWal();
  Status Failure(const std::string& what) const;
  // Records marked journaled since the last settlement go with the next.
  void FlushJournaled();
  // `before`: the pool's position the claim moved on from.
  std::int64_t Insert(const Claim& claim, const std::string& next, const std::optional<std::string>& before);
  void WriteSettlement(const Claim& claim);
  // Take and Settle inside a transaction already begun.
  Result<Claim> TakeIn(const ClaimRequest& request);
  void SettleIn(Claim& claim, const Settlement& settlement);
  // After a claim's commit: its log synced now, or on the flush's thread.
  void MakeDurable(const ClaimRequest& request);
  void SyncLog();
  std::optional<std::string> SyncLogFile();
  void AwaitFlush();
  // Moves the pool (and this program's lease) back before a claim that
  // nothing of reached a tag; false when a later value was taken meanwhile.
  bool GiveBack(const Claim& claim);
  std::optional<std::string> PoolPosition(const std::string& pool);
  // The progress of this program's lease of `pool` (nothing: none held; an
  // empty position: the lease begins at the source's own value).
  std::optional<std::optional<std::string>> LeaseProgress(const std::string& pool, const std::string& station);
  bool InLease(const std::string& pool, const Bytes& bytes);
  void StoreLease(const std::string& pool, const std::string& station, const Lease& lease);
  // The value of a leased claim: from the lease, a new lease when it is used
  // up; `outside`: a deliberate re-use of a value behind the pool.
  Result<Plan> PlanLeased(const ClaimRequest& request, std::optional<std::string>& position, bool& outside);

  sqlite3* db_;
  std::string path_;
  std::vector<std::int64_t> journaled_;
  std::map<const char*, sqlite3_stmt*> statements_;  // prepared once, see Statement
  LeaseKeeper* keeper_ = nullptr;
  std::unique_ptr<BackgroundFlush> flush_;   // made with the first claim flushed later
  std::optional<std::string> flushFailure_;  // for Durable
};

}  // namespace stampwise::ledger
