// The ledger in an SQLite database: the default, one file per user, shared by
// the programs of one machine that name the same file. WAL mode; a claim is a
// transaction committed with a full sync, the settling of an outcome one
// committed without (it survives a killed program, and the next claim's sync
// carries it to the disk).
#pragma once

#include <map>
#include <memory>
#include <string>

#include "app/ledger/ledger.h"

struct sqlite3;
struct sqlite3_stmt;

namespace stampwise::ledger {

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
  Result<Claim> Record(const ClaimRequest& request, const std::string& value, const Settlement& settlement) override;
  Result<std::vector<Claim>> SettleAbandoned(const std::string& message) override;
  Result<std::optional<std::string>> Position(const std::string& pool) override;
  Result<std::vector<Claim>> List(const ListFilter& filter) override;
  Result<std::vector<Claim>> Unjournaled(const std::string& journal) override;
  void MarkJournaled(const std::vector<std::int64_t>& ids) override;

  // SQLite's own check of the file; "ok" when it is whole.
  std::string IntegrityCheck();

 private:
  class Statement;
  class Transaction;
  SqliteLedger(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}

  Status Migrate();
  void SwitchToWal();
  Status Failure(const std::string& what) const;
  // Records marked journaled since the last transaction go with the next.
  void FlushJournaled();
  std::int64_t Insert(const Claim& claim, const std::string& next);
  void WriteSettlement(const Claim& claim);
  void SetSynchronous(bool full);

  sqlite3* db_;
  std::string path_;
  std::vector<std::int64_t> journaled_;
  std::map<const char*, sqlite3_stmt*> statements_;  // prepared once, see Statement
  bool fullSync_ = true;
};

}  // namespace stampwise::ledger
