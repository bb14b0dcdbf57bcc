#include "app/ledger/sqlite_ledger.h"

#include <sqlite3.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>
#include <utility>

#include "app/base/paths.h"
#include "app/gs1/gs1_epc.h"
#include "app/ledger/production_journal.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"

namespace stampwise::ledger {
namespace {

constexpr int kSchemaVersion = 2;
// Another program's transaction is waited for this long.
constexpr int kBusyTimeoutMs = 15000;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS pools(
  pool TEXT PRIMARY KEY,
  position TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS claims(
  id INTEGER PRIMARY KEY,
  station TEXT NOT NULL,
  owner TEXT NOT NULL,
  bank INTEGER NOT NULL,
  start INTEGER NOT NULL,
  value TEXT NOT NULL,
  bytes BLOB NOT NULL,
  pool TEXT NOT NULL,
  position_before TEXT,
  position_after TEXT,
  reuse INTEGER NOT NULL DEFAULT 0,
  tid TEXT NOT NULL,
  outcome TEXT NOT NULL,
  claimed TEXT NOT NULL,
  settled TEXT NOT NULL DEFAULT '',
  settle_order INTEGER,
  journal TEXT NOT NULL,
  journaled INTEGER NOT NULL DEFAULT 0,
  epc_before TEXT NOT NULL,
  length INTEGER NOT NULL DEFAULT 0,
  data TEXT NOT NULL DEFAULT '',
  verify TEXT NOT NULL DEFAULT 'off',
  message TEXT NOT NULL DEFAULT '',
  shared INTEGER
);
CREATE INDEX IF NOT EXISTS claims_by_bytes ON claims(bank, start, bytes);
CREATE INDEX IF NOT EXISTS claims_open ON claims(outcome) WHERE outcome = 'open';
DROP INDEX IF EXISTS claims_to_journal;
DROP INDEX IF EXISTS claims_by_settle_order;
DROP INDEX IF EXISTS claims_to_share;
CREATE INDEX IF NOT EXISTS settled_to_journal ON claims(journal, settle_order)
  WHERE journaled = 0 AND settle_order IS NOT NULL;
CREATE INDEX IF NOT EXISTS settled_in_order ON claims(settle_order) WHERE settle_order IS NOT NULL;
CREATE INDEX IF NOT EXISTS settled_to_share ON claims(settle_order) WHERE shared = 0 AND settle_order IS NOT NULL;
CREATE TABLE IF NOT EXISTS meta(
  key TEXT PRIMARY KEY,
  value TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS leases(
  pool TEXT NOT NULL,
  owner TEXT NOT NULL,
  station TEXT NOT NULL,
  progress TEXT,
  end_position TEXT NOT NULL,
  PRIMARY KEY(pool, owner)
);
CREATE TABLE IF NOT EXISTS leased(
  pool TEXT NOT NULL,
  owner TEXT NOT NULL,
  bytes BLOB NOT NULL,
  PRIMARY KEY(pool, owner, bytes)
);
)sql";

// Version 1 had no column for the claims a shared ledger has yet to get.
constexpr const char* kToVersion2 = "ALTER TABLE claims ADD COLUMN shared INTEGER";

// Inside the ledger a failure travels as this, and leaves at the interface
// as the message the operator is shown.
struct LedgerError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string Now() { return IsoLocalTime(std::chrono::system_clock::now()); }

}  // namespace

std::string DefaultLedgerFile() {
  if (const char* chosen = std::getenv(kLedgerVariable); chosen != nullptr && *chosen != '\0') return chosen;
  return DataDirectory() + "/Ledger.sqlite3";
}

// One prepared statement; columns are read by index.
class SqliteLedger::Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK) throw LedgerError(sqlite3_errmsg(db));
  }
  // One of the statements a tag runs: prepared once per ledger, kept in
  // `cache` (keyed by its text's address) and only reset after use.
  Statement(sqlite3* db, const char* sql, std::map<const char*, sqlite3_stmt*>& cache) : db_(db), cached_(true) {
    sqlite3_stmt*& kept = cache[sql];
    if (kept == nullptr && sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &kept, nullptr) != SQLITE_OK) {
      throw LedgerError(sqlite3_errmsg(db));
    }
    statement_ = kept;
  }
  ~Statement() {
    if (cached_) {
      sqlite3_reset(statement_);
      sqlite3_clear_bindings(statement_);
    } else {
      sqlite3_finalize(statement_);
    }
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, const std::string& text) {
    Check(sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT));
    return *this;
  }
  Statement& Bind(int index, const char* text) { return Bind(index, std::string(text)); }
  Statement& Bind(int index, std::int64_t number) {
    Check(sqlite3_bind_int64(statement_, index, number));
    return *this;
  }
  Statement& Bind(int index, int number) { return Bind(index, static_cast<std::int64_t>(number)); }
  Statement& Bind(int index, const Bytes& bytes) {
    // A zero-length blob, never NULL: the column is NOT NULL.
    static const std::uint8_t kNone = 0;
    Check(sqlite3_bind_blob(statement_, index, bytes.empty() ? &kNone : bytes.data(), static_cast<int>(bytes.size()),
                            SQLITE_TRANSIENT));
    return *this;
  }
  Statement& BindOptional(int index, const std::optional<std::string>& text) {
    if (text) return Bind(index, *text);
    Check(sqlite3_bind_null(statement_, index));
    return *this;
  }

  Statement& Reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
    return *this;
  }

  // True while a row is there.
  bool Step() {
    const int result = sqlite3_step(statement_);
    if (result == SQLITE_ROW) return true;
    if (result == SQLITE_DONE) return false;
    throw LedgerError(sqlite3_errmsg(db_));
  }
  void Run() {
    while (Step()) {
    }
  }

  std::string Text(int column) const {
    const auto* text = sqlite3_column_text(statement_, column);
    return text == nullptr ? std::string()
                           : std::string(reinterpret_cast<const char*>(text),
                                         static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)));
  }
  std::optional<std::string> OptionalText(int column) const {
    if (sqlite3_column_type(statement_, column) == SQLITE_NULL) return std::nullopt;
    return Text(column);
  }
  std::int64_t Number(int column) const { return sqlite3_column_int64(statement_, column); }
  Bytes Blob(int column) const {
    const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement_, column));
    const int size = sqlite3_column_bytes(statement_, column);
    return data == nullptr ? Bytes() : Bytes(data, data + size);
  }

 private:
  void Check(int result) {
    if (result != SQLITE_OK) throw LedgerError(sqlite3_errmsg(db_));
  }
  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
  bool cached_ = false;
};

// A write transaction: taken at once (another program's waits), rolled back
// unless committed.
class SqliteLedger::Transaction {
 public:
  explicit Transaction(SqliteLedger& ledger, bool durable) : ledger_(ledger), durable_(durable) {
    Exec("BEGIN IMMEDIATE");
  }
  ~Transaction() {
    if (!done_) sqlite3_exec(ledger_.db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit() {
    Exec("COMMIT");
    done_ = true;
    if (durable_) ledger_.SyncLog();
  }

 private:
  // Kept prepared: a tag runs two transactions.
  void Exec(const char* sql) { Statement(ledger_.db_, sql, ledger_.statements_).Run(); }
  SqliteLedger& ledger_;
  bool durable_;
  bool done_ = false;
};

namespace {

constexpr const char* kClaimColumns =
    "id, station, owner, bank, start, value, bytes, pool, reuse, tid, outcome, claimed, settled, journal, "
    "epc_before, length, data, verify, message";

// An attempt of `request` with `value`, made now by this program.
Claim NewClaim(const ClaimRequest& request, const std::string& value) {
  Claim claim;
  claim.station = request.station;
  claim.owner = OwnerId();
  claim.bank = request.bank;
  claim.start = request.start;
  claim.value = value;
  claim.tid = request.tid;
  claim.epcBefore = request.epcBefore;
  claim.journal = request.journal;
  claim.claimed = Now();
  return claim;
}

template <typename Row>
Claim ClaimOf(const Row& row) {
  Claim claim;
  claim.id = row.Number(0);
  claim.station = row.Text(1);
  claim.owner = row.Text(2);
  claim.bank = static_cast<int>(row.Number(3));
  claim.start = static_cast<int>(row.Number(4));
  claim.value = row.Text(5);
  claim.bytes = row.Blob(6);
  claim.pool = row.Text(7);
  claim.reuse = row.Number(8) != 0;
  claim.tid = row.Text(9);
  claim.outcome = OutcomeFromName(row.Text(10)).value_or(Outcome::kUnknown);
  claim.claimed = row.Text(11);
  claim.settled = row.Text(12);
  claim.journal = row.Text(13);
  claim.epcBefore = row.Text(14);
  claim.length = static_cast<int>(row.Number(15));
  claim.data = row.Text(16);
  claim.verify = row.Text(17);
  claim.message = row.Text(18);
  return claim;
}

}  // namespace

Result<std::unique_ptr<SqliteLedger>> SqliteLedger::Open(const std::string& path, bool create) {
  const auto refuse = [&](const std::string& reason) {
    return Result<std::unique_ptr<SqliteLedger>>::Failure(
        Message{msg::kLedgerFailed, FormatString(msg::kLedgerFailed, {path, reason}), 0});
  };
  std::error_code error;
  if (!create && !std::filesystem::is_regular_file(FilePath(path), error)) return refuse(std::strerror(ENOENT));
  const std::filesystem::path folder = FilePath(path).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, error);
  sqlite3* db = nullptr;
  const int opened =
      sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0), nullptr);
  if (opened != SQLITE_OK) {
    const std::string reason = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(opened);
    sqlite3_close(db);
    return refuse(reason);
  }
  std::unique_ptr<SqliteLedger> ledger(new SqliteLedger(db, path));
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  sqlite3_extended_result_codes(db, 1);
  if (const Status migrated = ledger->Migrate(); !migrated) {
    return Result<std::unique_ptr<SqliteLedger>>::Failure(migrated.message());
  }
  return ledger;
}

SqliteLedger::~SqliteLedger() {
  AwaitFlush();
  try {
    FlushJournaled();
  } catch (const LedgerError&) {
    // The records are in the journal; the next opening finds them there.
  }
  for (const auto& [sql, statement] : statements_) sqlite3_finalize(statement);
  sqlite3_close(db_);
}

Status SqliteLedger::Failure(const std::string& what) const {
  return Status::Failure(Message{msg::kLedgerFailed, FormatString(msg::kLedgerFailed, {path_, what}), 0});
}

// The connection commits without a sync of its own (synchronous=NORMAL); a
// commit that must outlast a power loss syncs the write-ahead log itself, as
// synchronous=FULL would after each commit. Switching the setting between a
// tag's two transactions instead would prepare statements anew every time.
void SqliteLedger::SyncLog() {
  if (const std::optional<std::string> failed = SyncLogFile()) throw LedgerError(*failed);
}

std::optional<std::string> SqliteLedger::SyncLogFile() {
  sqlite3_file* log = nullptr;
  if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_JOURNAL_POINTER, &log) != SQLITE_OK || log == nullptr ||
      log->pMethods == nullptr) {
    return "no write-ahead log to sync";
  }
  if (const int synced = log->pMethods->xSync(log, SQLITE_SYNC_NORMAL); synced != SQLITE_OK) {
    return sqlite3_errstr(synced);
  }
  return std::nullopt;
}

// The log's sync runs on the flush's thread while nothing here touches the
// connection: every use of it waits for the sync first.
void SqliteLedger::AwaitFlush() {
  if (!flush_) return;
  if (std::optional<std::string> failed = flush_->Wait(); failed && !flushFailure_) flushFailure_ = std::move(failed);
}

Status SqliteLedger::Durable() {
  AwaitFlush();
  if (const std::optional<std::string> failed = std::exchange(flushFailure_, std::nullopt)) return Failure(*failed);
  return Done{};
}

void SqliteLedger::SwitchToWal() {
  // A new ledger needs itself to itself for the switch: while another program
  // opens it at the same moment, SQLite refuses at once instead of waiting
  // (stations started together). Asked again until the usual wait is over.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
  for (;;) {
    std::string mode;
    char* error = nullptr;
    const int result = sqlite3_exec(
        db_, "PRAGMA journal_mode=WAL",
        [](void* out, int, char** values, char**) {
          *static_cast<std::string*>(out) = values[0] != nullptr ? values[0] : "";
          return 0;
        },
        &mode, &error);
    const std::string reason = error != nullptr ? error : mode;
    sqlite3_free(error);
    if (result == SQLITE_OK && mode == "wal") return;
    // Any other answer (a file system without the shared memory the log
    // needs) will not change by asking again.
    const bool busy = (result & 0xff) == SQLITE_BUSY;
    if (!busy || std::chrono::steady_clock::now() >= deadline) throw LedgerError("no write-ahead log: " + reason);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

Status SqliteLedger::Migrate() {
  try {
    // WAL lets readers (a `ledger list`, the window) go on while a station writes.
    SwitchToWal();
    if (sqlite3_exec(db_, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr) != SQLITE_OK) {
      throw LedgerError(sqlite3_errmsg(db_));
    }
    // Several programs may open a new ledger at once: the schema is made
    // under the write lock, by whichever comes first.
    Transaction transaction(*this, true);
    std::int64_t found = 0;
    {
      Statement version(db_, "PRAGMA user_version");
      version.Step();
      found = version.Number(0);
    }
    if (found > kSchemaVersion) {
      throw LedgerError("made by a newer program (schema " + std::to_string(found) + ")");
    }
    if (found == 1 && sqlite3_exec(db_, kToVersion2, nullptr, nullptr, nullptr) != SQLITE_OK) {
      throw LedgerError(sqlite3_errmsg(db_));
    }
    // Every statement of the schema is kept when it is there: a later index
    // reaches ledgers made before it.
    if (sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) throw LedgerError(sqlite3_errmsg(db_));
    if (found < kSchemaVersion) {
      const std::string set = "PRAGMA user_version=" + std::to_string(kSchemaVersion);
      if (sqlite3_exec(db_, set.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        throw LedgerError(sqlite3_errmsg(db_));
      }
    }
    {
      // This ledger's name in a shared one: the claims it sends are known
      // there by it and their own number, so a claim sent twice counts once.
      Statement origin(db_, "INSERT OR IGNORE INTO meta(key, value) VALUES('origin', lower(hex(randomblob(16))))");
      origin.Run();
    }
    transaction.Commit();
    return Done{};
  } catch (const LedgerError& e) {
    return Failure(e.what());
  }
}

void SqliteLedger::FlushJournaled() {
  if (journaled_.empty()) return;
  Statement mark(db_, "UPDATE claims SET journaled = 1 WHERE id = ?", statements_);
  for (const std::int64_t id : journaled_) mark.Reset().Bind(1, id).Run();
  journaled_.clear();
}

std::int64_t SqliteLedger::Insert(const Claim& claim, const std::string& next,
                                  const std::optional<std::string>& before) {
  Statement insert(
      db_,
      "INSERT INTO claims(station, owner, bank, start, value, bytes, pool, position_after, reuse, tid, "
      "outcome, claimed, settled, journal, epc_before, length, data, verify, message, shared, position_before) "
      "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
      statements_);
  insert.Bind(1, claim.station)
      .Bind(2, claim.owner)
      .Bind(3, claim.bank)
      .Bind(4, claim.start)
      .Bind(5, claim.value)
      .Bind(6, claim.bytes)
      .Bind(7, claim.pool)
      .Bind(8, next)
      .Bind(9, claim.reuse ? 1 : 0)
      .Bind(10, claim.tid)
      .Bind(11, OutcomeName(claim.outcome))
      .Bind(12, claim.claimed)
      .Bind(13, claim.settled)
      .Bind(14, claim.journal)
      .Bind(15, claim.epcBefore)
      .Bind(16, claim.length)
      .Bind(17, claim.data)
      .Bind(18, claim.verify)
      .Bind(19, claim.message);
  if (keeper_ != nullptr) {
    insert.Bind(20, 0);
  } else {
    insert.BindOptional(20, std::nullopt);
  }
  insert.BindOptional(21, before);
  insert.Run();
  return sqlite3_last_insert_rowid(db_);
}

std::optional<std::string> SqliteLedger::PoolPosition(const std::string& pool) {
  Statement read(db_, "SELECT position FROM pools WHERE pool = ?", statements_);
  read.Bind(1, pool);
  if (read.Step()) return read.Text(0);
  return std::nullopt;
}

std::optional<std::optional<std::string>> SqliteLedger::LeaseProgress(const std::string& pool,
                                                                      const std::string& station) {
  {
    Statement own(db_, "SELECT progress FROM leases WHERE pool = ? AND owner = ?", statements_);
    own.Bind(1, pool).Bind(2, OwnerId());
    if (own.Step()) return own.OptionalText(0);
  }
  // The station's lease of a program that was killed is taken back.
  std::vector<std::string> owners;
  {
    Statement left(db_, "SELECT owner FROM leases WHERE pool = ? AND station = ? ORDER BY rowid", statements_);
    left.Bind(1, pool).Bind(2, station);
    while (left.Step()) owners.push_back(left.Text(0));
  }
  for (const std::string& owner : owners) {
    if (owner == OwnerId() || OwnerAlive(owner)) continue;
    Statement adopt(db_, "UPDATE leases SET owner = ?1 WHERE pool = ?2 AND owner = ?3", statements_);
    adopt.Bind(1, OwnerId()).Bind(2, pool).Bind(3, owner).Run();
    Statement values(db_, "UPDATE leased SET owner = ?1 WHERE pool = ?2 AND owner = ?3", statements_);
    values.Bind(1, OwnerId()).Bind(2, pool).Bind(3, owner).Run();
    return LeaseProgress(pool, station);
  }
  return std::nullopt;
}

bool SqliteLedger::InLease(const std::string& pool, const Bytes& bytes) {
  Statement find(db_, "SELECT 1 FROM leased WHERE pool = ? AND owner = ? AND bytes = ?", statements_);
  find.Bind(1, pool).Bind(2, OwnerId()).Bind(3, bytes);
  return find.Step();
}

void SqliteLedger::StoreLease(const std::string& pool, const std::string& station, const Lease& lease) {
  Statement drop(db_, "DELETE FROM leased WHERE pool = ? AND owner = ?", statements_);
  drop.Bind(1, pool).Bind(2, OwnerId()).Run();
  Statement row(db_,
                "INSERT OR REPLACE INTO leases(pool, owner, station, progress, end_position) VALUES(?, ?, ?, ?, ?)",
                statements_);
  row.Bind(1, pool).Bind(2, OwnerId()).Bind(3, station).BindOptional(4, lease.start).Bind(5, lease.end).Run();
  Statement value(db_, "INSERT OR IGNORE INTO leased(pool, owner, bytes) VALUES(?, ?, ?)", statements_);
  for (const Bytes& bytes : lease.bytes) value.Reset().Bind(1, pool).Bind(2, OwnerId()).Bind(3, bytes).Run();
}

Result<Plan> SqliteLedger::PlanLeased(const ClaimRequest& request, std::optional<std::string>& position,
                                      bool& outside) {
  const auto refuseOutside = [&](const Plan& plan) {
    std::optional<Message> used = keeper_->UsedBefore(request.bank, request.start, plan.bytes);
    return Result<Plan>::Failure(
        used ? *used
             : Message{msg::kSharedLeaseOutside,
                       FormatString(msg::kSharedLeaseOutside, {plan.value, ShownPool(request)}), 0});
  };
  if (const auto progress = LeaseProgress(request.pool, request.station)) position = *progress;
  Result<Plan> planned = request.plan(position);
  if (!planned || InLease(request.pool, planned.value().bytes)) return planned;
  if (!planned.value().advances) {
    // Behind the pool: only a deliberate re-use, recorded as such.
    if (!request.allowReuse) return refuseOutside(planned.value());
    outside = true;
    return planned;
  }
  std::optional<std::string> previousEnd;
  {
    Statement own(db_, "SELECT end_position FROM leases WHERE pool = ? AND owner = ?", statements_);
    own.Bind(1, request.pool).Bind(2, OwnerId());
    if (own.Step()) previousEnd = own.Text(0);
  }
  Result<Lease> lease = keeper_->TakeLease(request.station, request.pool, PoolPosition(request.pool), previousEnd,
                                           request.plan, ShownPool(request));
  if (!lease) {
    if (lease.message().id != msg::kSharedLeaseOutside) return Result<Plan>::Failure(lease.message());
    // A value behind the pool: only a deliberate re-use.
    if (!request.allowReuse) return refuseOutside(planned.value());
    outside = true;
    return planned;
  }
  StoreLease(request.pool, request.station, lease.value());
  position = lease.value().start;
  planned = request.plan(position);
  if (planned && !InLease(request.pool, planned.value().bytes)) return refuseOutside(planned.value());
  return planned;
}

Status SqliteLedger::Ready(const ClaimRequest& request) {
  AwaitFlush();
  if (keeper_ == nullptr || request.pool.empty()) return Done{};
  try {
    Transaction transaction(*this, true);
    std::optional<std::string> position = PoolPosition(request.pool);
    bool outside = false;
    const Result<Plan> planned = PlanLeased(request, position, outside);
    if (!planned) return Status::Failure(planned.message());
    // A lease taken here is stored before any of its values is used.
    transaction.Commit();
    return Done{};
  } catch (const LedgerError& e) {
    return Failure(e.what());
  }
}

Result<Claim> SqliteLedger::Take(const ClaimRequest& request) {
  AwaitFlush();
  try {
    // The journal marks wait for the next settlement, which touches the same
    // index anyway: the durable commit carries only the claim's own pages.
    Transaction transaction(*this, false);
    Result<Claim> claim = TakeIn(request);
    if (!claim) return claim;
    transaction.Commit();
    MakeDurable(request);
    return claim;
  } catch (const LedgerError& e) {
    return Result<Claim>::Failure(Failure(e.what()).message());
  }
}

void SqliteLedger::MakeDurable(const ClaimRequest& request) {
  if (!request.flushLater) {
    SyncLog();
    return;
  }
  if (!flush_) flush_ = std::make_unique<BackgroundFlush>();
  flush_->Start([this] { return SyncLogFile(); });
}

Result<Claim> SqliteLedger::TakeIn(const ClaimRequest& request) {
  std::optional<std::string> position;
  if (!request.pool.empty()) position = PoolPosition(request.pool);
  const bool leased = keeper_ != nullptr && !request.pool.empty();
  bool outside = false;
  // The lease taken here is stored in the same transaction as the claim.
  Result<Plan> planned = leased ? PlanLeased(request, position, outside) : request.plan(position);
  if (!planned) return Result<Claim>::Failure(planned.message());
  const Plan& plan = planned.value();

  Claim claim = NewClaim(request, plan.value);
  claim.bytes = plan.bytes;
  claim.pool = request.pool;
  claim.reuse = outside;
  if (!request.pool.empty() && !plan.bytes.empty()) {
    // Bytes a tag may carry: written, unknown, spoilt, or still open.
    Statement holder(db_,
                     "SELECT claimed, station, outcome FROM claims WHERE bank = ? AND start = ? AND bytes = ? "
                     "AND outcome <> 'failed' ORDER BY id LIMIT 1",
                     statements_);
    holder.Bind(1, request.bank).Bind(2, request.start).Bind(3, plan.bytes);
    if (holder.Step()) {
      if (!request.allowReuse) {
        return Result<Claim>::Failure(Message{
            msg::kLedgerBytesUsed,
            FormatString(msg::kLedgerBytesUsed, {gs1::Hex(plan.bytes), holder.Text(0), holder.Text(1), holder.Text(2)}),
            0});
      }
      claim.reuse = true;
    }
  }
  const bool moves = !request.pool.empty() && plan.advances;
  claim.id = Insert(claim, plan.next, moves ? position : std::nullopt);
  if (moves) {
    Statement move(db_,
                   "INSERT INTO pools(pool, position) VALUES(?, ?) "
                   "ON CONFLICT(pool) DO UPDATE SET position = excluded.position",
                   statements_);
    move.Bind(1, request.pool).Bind(2, plan.next).Run();
    if (leased && !outside) {
      Statement progress(db_, "UPDATE leases SET progress = ? WHERE pool = ? AND owner = ?", statements_);
      progress.Bind(1, plan.next).Bind(2, request.pool).Bind(3, OwnerId()).Run();
    }
  }
  return claim;
}

void SqliteLedger::WriteSettlement(const Claim& claim) {
  Statement settle(db_,
                   "UPDATE claims SET outcome = ?, settled = ?, length = ?, data = ?, verify = ?, message = ?, "
                   "settle_order = (SELECT coalesce(max(settle_order), 0) + 1 FROM claims "
                   "WHERE settle_order IS NOT NULL) WHERE id = ?",
                   statements_);
  settle.Bind(1, OutcomeName(claim.outcome))
      .Bind(2, claim.settled)
      .Bind(3, claim.length)
      .Bind(4, claim.data)
      .Bind(5, claim.verify)
      .Bind(6, claim.message)
      .Bind(7, claim.id)
      .Run();
}

Status SqliteLedger::Settle(Claim& claim, const Settlement& settlement) {
  AwaitFlush();
  try {
    Transaction transaction(*this, false);
    SettleIn(claim, settlement);
    transaction.Commit();
    return Done{};
  } catch (const LedgerError& e) {
    return Failure(e.what());
  }
}

Status SqliteLedger::SettleAndTake(Claim& claim, const Settlement& settlement, const ClaimRequest& next,
                                   std::optional<Result<Claim>>& taken) {
  AwaitFlush();
  taken.reset();
  try {
    Transaction transaction(*this, false);
    SettleIn(claim, settlement);
    // A refused claim (and a lease it may have stored), or one the database
    // failed on, leaves the settlement standing: the tag's outcome matters more.
    Statement(db_, "SAVEPOINT next_claim", statements_).Run();
    Result<Claim> nextClaim = [&]() -> Result<Claim> {
      try {
        return TakeIn(next);
      } catch (const LedgerError& e) {
        return Result<Claim>::Failure(Failure(e.what()).message());
      }
    }();
    Statement(db_, nextClaim ? "RELEASE next_claim" : "ROLLBACK TO next_claim", statements_).Run();
    transaction.Commit();
    if (nextClaim) MakeDurable(next);
    taken = std::move(nextClaim);
    return Done{};
  } catch (const LedgerError& e) {
    return Failure(e.what());
  }
}

void SqliteLedger::SettleIn(Claim& claim, const Settlement& settlement) {
  FlushJournaled();
  claim.outcome = settlement.outcome;
  claim.settled = Now();
  claim.length = settlement.length;
  claim.data = settlement.data;
  claim.verify = settlement.verify;
  claim.message = settlement.message;
  WriteSettlement(claim);
  // Nothing reached the tag: the value is free again, unless another
  // program has taken the one after it meanwhile.
  if (settlement.outcome == Outcome::kFailed) GiveBack(claim);
}

bool SqliteLedger::GiveBack(const Claim& claim) {
  if (claim.pool.empty()) return true;
  Statement back(db_,
                 "UPDATE pools SET position = (SELECT position_before FROM claims WHERE id = ?1) "
                 "WHERE pool = ?2 AND position = (SELECT position_after FROM claims WHERE id = ?1) "
                 "AND (SELECT position_before FROM claims WHERE id = ?1) IS NOT NULL",
                 statements_);
  back.Bind(1, claim.id).Bind(2, claim.pool).Run();
  bool moved = sqlite3_changes(db_) > 0;
  Statement gone(db_,
                 "DELETE FROM pools WHERE pool = ?2 AND position = (SELECT position_after FROM claims WHERE id = "
                 "?1) AND (SELECT position_before FROM claims WHERE id = ?1) IS NULL",
                 statements_);
  gone.Bind(1, claim.id).Bind(2, claim.pool).Run();
  moved = moved || sqlite3_changes(db_) > 0;
  Statement lease(db_,
                  "UPDATE leases SET progress = (SELECT position_before FROM claims WHERE id = ?1) "
                  "WHERE pool = ?2 AND owner = ?3 AND progress = (SELECT position_after FROM claims WHERE id = ?1)",
                  statements_);
  lease.Bind(1, claim.id).Bind(2, claim.pool).Bind(3, OwnerId()).Run();
  return moved;
}

Status SqliteLedger::Locate(Claim& claim, const std::string& tid, const std::string& epcBefore) {
  AwaitFlush();
  try {
    Transaction transaction(*this, false);
    Statement place(db_, "UPDATE claims SET tid = ?, epc_before = ? WHERE id = ?", statements_);
    place.Bind(1, tid).Bind(2, epcBefore).Bind(3, claim.id).Run();
    transaction.Commit();
    claim.tid = tid;
    claim.epcBefore = epcBefore;
    return Done{};
  } catch (const LedgerError& e) {
    return Failure(e.what());
  }
}

Result<bool> SqliteLedger::Withdraw(const Claim& claim) {
  AwaitFlush();
  try {
    Transaction transaction(*this, false);
    // A value that does not advance has nothing to give back; one whose
    // position moved on under another program stays as a record of the gap.
    const bool back = GiveBack(claim);
    if (back) {
      Statement remove(db_, "DELETE FROM claims WHERE id = ? AND outcome = 'open'", statements_);
      remove.Bind(1, claim.id).Run();
    }
    transaction.Commit();
    return back;
  } catch (const LedgerError& e) {
    return Result<bool>::Failure(Failure(e.what()).message());
  }
}

Result<Claim> SqliteLedger::Record(const ClaimRequest& request, const std::string& value,
                                   const Settlement& settlement) {
  AwaitFlush();
  try {
    Transaction transaction(*this, false);
    FlushJournaled();
    Claim claim = NewClaim(request, value);
    claim.settled = claim.claimed;
    claim.outcome = Outcome::kFailed;
    claim.length = settlement.length;
    claim.verify = settlement.verify;
    claim.message = settlement.message;
    claim.id = Insert(claim, "", std::nullopt);
    WriteSettlement(claim);
    transaction.Commit();
    return claim;
  } catch (const LedgerError& e) {
    return Result<Claim>::Failure(Failure(e.what()).message());
  }
}

Result<std::vector<Claim>> SqliteLedger::SettleAbandoned(const std::string& message) {
  AwaitFlush();
  try {
    Transaction transaction(*this, true);
    FlushJournaled();
    std::vector<Claim> open;
    {
      Statement find(
          db_, (std::string("SELECT ") + kClaimColumns + " FROM claims WHERE outcome = 'open' ORDER BY id").c_str());
      while (find.Step()) open.push_back(ClaimOf(find));
    }
    std::vector<Claim> settled;
    for (Claim& claim : open) {
      if (claim.owner == OwnerId() || OwnerAlive(claim.owner)) continue;
      claim.outcome = Outcome::kUnknown;
      claim.settled = Now();
      claim.message = FormatText(message, {claim.value});
      WriteSettlement(claim);
      settled.push_back(claim);
    }
    transaction.Commit();
    return settled;
  } catch (const LedgerError& e) {
    return Result<std::vector<Claim>>::Failure(Failure(e.what()).message());
  }
}

Result<std::optional<std::string>> SqliteLedger::Position(const std::string& pool) {
  AwaitFlush();
  try {
    Statement read(db_, "SELECT position FROM pools WHERE pool = ?");
    read.Bind(1, pool);
    if (read.Step()) return std::optional<std::string>(read.Text(0));
    return std::optional<std::string>();
  } catch (const LedgerError& e) {
    return Result<std::optional<std::string>>::Failure(Failure(e.what()).message());
  }
}

Result<std::vector<Claim>> SqliteLedger::List(const ListFilter& filter) {
  AwaitFlush();
  try {
    Statement list(db_, (std::string("SELECT ") + kClaimColumns +
                         " FROM claims WHERE (?1 = '' OR station = ?1) AND (?2 = '' OR journal = ?2) ORDER BY id")
                            .c_str());
    list.Bind(1, filter.station).Bind(2, filter.journal);
    std::vector<Claim> claims;
    while (list.Step()) claims.push_back(ClaimOf(list));
    return claims;
  } catch (const LedgerError& e) {
    return Result<std::vector<Claim>>::Failure(Failure(e.what()).message());
  }
}

Result<std::vector<Claim>> SqliteLedger::Unjournaled(const std::string& journal) {
  AwaitFlush();
  try {
    Statement list(
        db_, (std::string("SELECT ") + kClaimColumns +
              " FROM claims WHERE journal = ? AND journaled = 0 AND settle_order IS NOT NULL AND outcome <> 'open' "
              "ORDER BY settle_order")
                 .c_str());
    list.Bind(1, journal);
    std::vector<Claim> claims;
    while (list.Step()) claims.push_back(ClaimOf(list));
    return claims;
  } catch (const LedgerError& e) {
    return Result<std::vector<Claim>>::Failure(Failure(e.what()).message());
  }
}

void SqliteLedger::MarkJournaled(const std::vector<std::int64_t>& ids) {
  journaled_.insert(journaled_.end(), ids.begin(), ids.end());
}

Result<std::vector<Claim>> SqliteLedger::Unshared(int limit) {
  AwaitFlush();
  try {
    Statement list(db_, (std::string("SELECT ") + kClaimColumns +
                         " FROM claims WHERE shared = 0 AND settle_order IS NOT NULL AND outcome <> 'open' "
                         "ORDER BY settle_order LIMIT ?")
                            .c_str());
    list.Bind(1, limit);
    std::vector<Claim> claims;
    while (list.Step()) claims.push_back(ClaimOf(list));
    return claims;
  } catch (const LedgerError& e) {
    return Result<std::vector<Claim>>::Failure(Failure(e.what()).message());
  }
}

Status SqliteLedger::MarkShared(const std::vector<std::int64_t>& ids) {
  AwaitFlush();
  try {
    // Not synced on its own: a mark lost to a power loss sends the claim
    // again, and the shared ledger counts it once.
    Transaction transaction(*this, false);
    Statement mark(db_, "UPDATE claims SET shared = 1 WHERE id = ?", statements_);
    for (const std::int64_t id : ids) mark.Reset().Bind(1, id).Run();
    transaction.Commit();
    return Done{};
  } catch (const LedgerError& e) {
    return Failure(e.what());
  }
}

Result<std::string> SqliteLedger::Origin() {
  AwaitFlush();
  try {
    Statement read(db_, "SELECT value FROM meta WHERE key = 'origin'");
    if (!read.Step()) throw LedgerError("no origin");
    return read.Text(0);
  } catch (const LedgerError& e) {
    return Result<std::string>::Failure(Failure(e.what()).message());
  }
}

Result<std::vector<HeldLease>> SqliteLedger::OwnLeases() {
  AwaitFlush();
  try {
    Statement read(db_, "SELECT pool, progress, end_position FROM leases WHERE owner = ? ORDER BY pool");
    read.Bind(1, OwnerId());
    std::vector<HeldLease> leases;
    while (read.Step()) leases.push_back(HeldLease{read.Text(0), read.OptionalText(1), read.Text(2)});
    return leases;
  } catch (const LedgerError& e) {
    return Result<std::vector<HeldLease>>::Failure(Failure(e.what()).message());
  }
}

Status SqliteLedger::DropLease(const std::string& pool) {
  AwaitFlush();
  try {
    Transaction transaction(*this, true);
    Statement row(db_, "DELETE FROM leases WHERE pool = ? AND owner = ?");
    row.Bind(1, pool).Bind(2, OwnerId()).Run();
    Statement values(db_, "DELETE FROM leased WHERE pool = ? AND owner = ?");
    values.Bind(1, pool).Bind(2, OwnerId()).Run();
    transaction.Commit();
    return Done{};
  } catch (const LedgerError& e) {
    return Failure(e.what());
  }
}

std::string SqliteLedger::IntegrityCheck() {
  AwaitFlush();
  try {
    Statement check(db_, "PRAGMA integrity_check");
    std::string result;
    while (check.Step()) result += (result.empty() ? "" : "\n") + check.Text(0);
    return result;
  } catch (const LedgerError& e) {
    return e.what();
  }
}

}  // namespace stampwise::ledger
