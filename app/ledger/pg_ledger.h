// The shared ledger in a PostgreSQL database, for stations on many machines:
// the pools' positions, the leases stations hold, and every settled claim of
// every station. A station takes its values in leases from here and sends its
// settled claims here; between the two it works from its own ledger, so it
// writes on while this one does not answer.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ledger/lease.h"
#include "app/ledger/ledger.h"
#include "app/ledger/ledger_uri.h"

struct pg_conn;

namespace stampwise::ledger {

// False in a build made without a PostgreSQL client.
bool SharedLedgerAvailable();
// Why libpq cannot read `uri` (without its password); nothing when it can.
std::optional<std::string> UnreadableUri(const std::string& uri);

// A pool's position and the leases open on it.
struct PoolState {
  std::string pool;
  std::string next;
};
struct OpenLease {
  std::string pool;
  std::string station;
  std::string first;  // both inclusive
  std::string last;
};

class PgLedger final : public LeaseKeeper {
 public:
  // Nothing is connected yet: the first call does, and makes the schema.
  PgLedger(std::string uri, int leaseSize);
  ~PgLedger() override;
  PgLedger(const PgLedger&) = delete;
  PgLedger& operator=(const PgLedger&) = delete;

  std::string Describe() const { return shown_; }

  Result<Lease> TakeLease(const std::string& station, const std::string& pool, const std::optional<std::string>& local,
                          const std::optional<std::string>& previousEnd, const PlanFunction& plan,
                          const std::string& shown) override;
  std::optional<Message> UsedBefore(int bank, int start, const Bytes& bytes) override;

  // Adds settled claims of the ledger `origin`, each once however often it
  // is sent. A claim whose bytes another claim holds already (a station
  // that went around its lease) is recorded too, and reported.
  Status Send(const std::string& origin, const std::vector<Claim>& claims, std::optional<Message>& conflict);
  // A lease's unused rest goes back to its pool when nobody took a block
  // after it; the lease is closed either way.
  Status GiveBack(const std::string& pool, const std::optional<std::string>& progress, const std::string& end);

  // The next call tries the database whatever the pause after a failure.
  void RetryNow() { retryAfter_.reset(); }

  Result<std::vector<Claim>> List(const ListFilter& filter);
  Result<std::vector<PoolState>> Pools();
  Result<std::vector<OpenLease>> Leases();
  Result<std::optional<std::string>> Position(const std::string& pool);

 private:
  class Query;
  // A connection with the schema in place, or why there is none. After a
  // failure no new attempt is made for a while: a station working from its
  // lease does not wait on every tag.
  Status Connect();
  Status Away(const std::string& why);
  Status MakeSchema();

  std::string uri_;
  std::string shown_;
  int leaseSize_;
  pg_conn* conn_ = nullptr;
  std::optional<std::chrono::steady_clock::time_point> retryAfter_;
  std::string lastFailure_;  // why the database did not answer last
  std::chrono::seconds retryPause_{1};
};

}  // namespace stampwise::ledger
