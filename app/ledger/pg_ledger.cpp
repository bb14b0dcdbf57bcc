#include "app/ledger/pg_ledger.h"

#include <libpq-fe.h>

#include <algorithm>
#include <stdexcept>

#include "app/gs1/gs1_epc.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"

namespace stampwise::ledger {
namespace {

constexpr int kPgSchemaVersion = 1;
// A database that did not answer is asked again after a pause that grows
// from the first to the last: a server that is not reached before the connect
// time-out does not hold up every tag.
constexpr auto kFirstRetryPause = std::chrono::seconds(1);
constexpr auto kLastRetryPause = std::chrono::seconds(30);
// Serialises the making of the schema among stations that start at once.
constexpr const char* kSchemaLock = "SELECT pg_advisory_xact_lock(2647300511)";

constexpr const char* kPgSchema = R"sql(
CREATE TABLE IF NOT EXISTS pools(
  pool TEXT PRIMARY KEY,
  position TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS leases(
  pool TEXT NOT NULL,
  end_position TEXT NOT NULL,
  station TEXT NOT NULL,
  owner TEXT NOT NULL,
  first TEXT NOT NULL,
  last TEXT NOT NULL,
  taken TIMESTAMPTZ NOT NULL DEFAULT now(),
  PRIMARY KEY(pool, end_position)
);
CREATE TABLE IF NOT EXISTS claims(
  id BIGSERIAL PRIMARY KEY,
  origin TEXT NOT NULL,
  local_id BIGINT NOT NULL,
  station TEXT NOT NULL,
  owner TEXT NOT NULL,
  bank INTEGER NOT NULL,
  start INTEGER NOT NULL,
  value TEXT NOT NULL,
  bytes BYTEA NOT NULL,
  pool TEXT NOT NULL,
  reuse BOOLEAN NOT NULL,
  tid TEXT NOT NULL,
  outcome TEXT NOT NULL,
  claimed TEXT NOT NULL,
  settled TEXT NOT NULL,
  journal TEXT NOT NULL,
  epc_before TEXT NOT NULL,
  length INTEGER NOT NULL,
  data TEXT NOT NULL,
  verify TEXT NOT NULL,
  message TEXT NOT NULL,
  UNIQUE(origin, local_id)
);
CREATE INDEX IF NOT EXISTS claims_by_bytes ON claims(bank, start, bytes);
)sql";

struct PgError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string ByteaText(const Bytes& bytes) { return "\\x" + gs1::Hex(bytes); }

Bytes FromHex(const std::string& hex) {
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

// libpq's message on one line: its hint comes on a line of its own,
// indented, and a line break ends it.
std::string Trimmed(const char* text) {
  std::string message;
  for (const char* c = text == nullptr ? "" : text; *c != '\0'; ++c) {
    if (*c != '\n') {
      message += *c;
      continue;
    }
    while (c[1] == '\t' || c[1] == ' ') ++c;
    message += ' ';
  }
  while (!message.empty() && message.back() == ' ') message.pop_back();
  return message;
}

// A text of libpq's fit to be shown: the URI it quotes goes without its password.
std::string ShownText(const std::string& uri, std::string text) {
  const std::string shown = WithoutPassword(uri);
  for (std::size_t at = text.find(uri); !uri.empty() && at != std::string::npos; at = text.find(uri, at)) {
    text.replace(at, uri.size(), shown);
    at += shown.size();
  }
  return text;
}

}  // namespace

bool SharedLedgerAvailable() { return true; }

std::optional<std::string> UnreadableUri(const std::string& uri) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(uri.c_str(), &error);
  if (options != nullptr) {
    PQconninfoFree(options);
    return std::nullopt;
  }
  // libpq quotes the URI as given, password and all.
  std::string why = error == nullptr ? "out of memory" : ShownText(uri, Trimmed(error));
  PQfreemem(error);
  return why;
}

// One statement with text parameters; its rows are read as text.
class PgLedger::Query {
 public:
  Query(pg_conn* conn, const char* sql, const std::vector<std::optional<std::string>>& params = {}) {
    std::vector<const char*> values;
    for (const auto& param : params) values.push_back(param ? param->c_str() : nullptr);
    // Without parameters a text may hold several statements (the schema).
    result_ = params.empty() ? PQexec(conn, sql)
                             : PQexecParams(conn, sql, static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                                            nullptr, 0);
    const ExecStatusType status = PQresultStatus(result_);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
      const std::string why = Trimmed(PQerrorMessage(conn));
      PQclear(result_);
      throw PgError(why);
    }
  }
  ~Query() { PQclear(result_); }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  int Rows() const { return PQntuples(result_); }
  bool Null(int row, int column) const { return PQgetisnull(result_, row, column) != 0; }
  std::string Text(int row, int column) const { return PQgetvalue(result_, row, column); }
  std::int64_t Number(int row, int column) const { return std::stoll(Text(row, column)); }

 private:
  PGresult* result_ = nullptr;
};

namespace {

// A transaction: rolled back unless committed.
class PgTransaction {
 public:
  explicit PgTransaction(pg_conn* conn) : conn_(conn) { Exec("BEGIN"); }
  ~PgTransaction() {
    if (!done_ && PQstatus(conn_) == CONNECTION_OK) PQclear(PQexec(conn_, "ROLLBACK"));
  }
  PgTransaction(const PgTransaction&) = delete;
  PgTransaction& operator=(const PgTransaction&) = delete;
  void Commit() {
    Exec("COMMIT");
    done_ = true;
  }

 private:
  void Exec(const char* sql) {
    PGresult* result = PQexec(conn_, sql);
    const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
    PQclear(result);
    if (!ok) throw PgError(Trimmed(PQerrorMessage(conn_)));
  }
  pg_conn* conn_;
  bool done_ = false;
};

}  // namespace

PgLedger::PgLedger(std::string uri, int leaseSize)
    : uri_(std::move(uri)), shown_(WithoutPassword(uri_)), leaseSize_(leaseSize < 1 ? 1 : leaseSize) {}

PgLedger::~PgLedger() { PQfinish(conn_); }

Status PgLedger::Away(const std::string& why) {
  PQfinish(conn_);
  conn_ = nullptr;
  lastFailure_ = ShownText(uri_, why);
  retryPause_ = retryAfter_ ? std::min(retryPause_ * 2, std::chrono::seconds(kLastRetryPause)) : kFirstRetryPause;
  retryAfter_ = std::chrono::steady_clock::now() + retryPause_;
  return Status::Failure(Message{msg::kLedgerFailed, FormatString(msg::kLedgerFailed, {shown_, lastFailure_}), 0});
}

Status PgLedger::Connect() {
  if (conn_ != nullptr && PQstatus(conn_) == CONNECTION_OK) return Done{};
  if (retryAfter_ && std::chrono::steady_clock::now() < *retryAfter_) {
    return Status::Failure(Message{msg::kLedgerFailed, FormatString(msg::kLedgerFailed, {shown_, lastFailure_}), 0});
  }
  PQfinish(conn_);
  // The URI's own settings come after these and win.
  const char* keywords[] = {"connect_timeout", "application_name", "dbname", nullptr};
  const char* values[] = {"5", "stampwise", uri_.c_str(), nullptr};
  conn_ = PQconnectdbParams(keywords, values, 1);
  if (conn_ == nullptr) return Away("out of memory");
  if (PQstatus(conn_) != CONNECTION_OK) return Away(Trimmed(PQerrorMessage(conn_)));
  // The server's notices ("already exists, skipping") are not the operator's.
  PQsetNoticeProcessor(
      conn_, [](void*, const char*) {}, nullptr);
  if (const Status made = MakeSchema(); !made) return made;
  retryAfter_.reset();
  return Done{};
}

Status PgLedger::MakeSchema() {
  try {
    PgTransaction transaction(conn_);
    Query(conn_, kSchemaLock);
    Query(conn_, "CREATE TABLE IF NOT EXISTS stampwise_schema(version INTEGER NOT NULL)");
    Query found(conn_, "SELECT max(version) FROM stampwise_schema");
    const int version = found.Null(0, 0) ? 0 : static_cast<int>(found.Number(0, 0));
    if (version > kPgSchemaVersion) throw PgError("made by a newer program (schema " + std::to_string(version) + ")");
    if (version < kPgSchemaVersion) {
      Query(conn_, kPgSchema);
      Query(conn_, "DELETE FROM stampwise_schema");
      Query(conn_, "INSERT INTO stampwise_schema(version) VALUES($1)", {std::to_string(kPgSchemaVersion)});
    }
    transaction.Commit();
    return Done{};
  } catch (const PgError& e) {
    return Away(e.what());
  }
}

Result<Lease> PgLedger::TakeLease(const std::string& station, const std::string& pool,
                                  const std::optional<std::string>& local,
                                  const std::optional<std::string>& previousEnd, const PlanFunction& plan,
                                  const std::string& shown) {
  // Says why in libpq's words: the message names the ledger already.
  const auto away = [&] {
    return Result<Lease>::Failure(
        Message{msg::kSharedLedgerAway, FormatString(msg::kSharedLedgerAway, {shown_, lastFailure_, shown}), 0});
  };
  if (!Connect()) return away();
  try {
    PgTransaction transaction(conn_);
    // One lease of a pool at a time, also for a pool nobody used yet.
    Query(conn_, "SELECT pg_advisory_xact_lock(hashtextextended($1, 0))", {pool});
    Query found(conn_, "SELECT position FROM pools WHERE pool = $1", {pool});
    // The first station sets the pool's start; later ones follow the pool.
    const std::optional<std::string> start = found.Rows() > 0 ? std::optional(found.Text(0, 0)) : local;
    Result<Lease> lease = PlanLease(start, leaseSize_, plan, shown);
    if (!lease) return lease;
    Query(conn_,
          "INSERT INTO pools(pool, position) VALUES($1, $2) ON CONFLICT(pool) DO UPDATE SET position = "
          "excluded.position",
          {pool, lease.value().end});
    if (previousEnd) Query(conn_, "DELETE FROM leases WHERE pool = $1 AND end_position = $2", {pool, *previousEnd});
    Query(conn_, "INSERT INTO leases(pool, end_position, station, owner, first, last) VALUES($1, $2, $3, $4, $5, $6)",
          {pool, lease.value().end, station, OwnerId(), lease.value().first, lease.value().last});
    transaction.Commit();
    return lease;
  } catch (const PgError& e) {
    Away(e.what());
    return away();
  }
}

std::optional<Message> PgLedger::UsedBefore(int bank, int start, const Bytes& bytes) {
  if (!Connect()) return std::nullopt;
  try {
    Query holder(conn_,
                 "SELECT claimed, station, outcome FROM claims WHERE bank = $1 AND start = $2 AND bytes = $3 "
                 "AND outcome <> 'failed' ORDER BY id LIMIT 1",
                 {std::to_string(bank), std::to_string(start), ByteaText(bytes)});
    if (holder.Rows() == 0) return std::nullopt;
    return Message{
        msg::kLedgerBytesUsed,
        FormatString(msg::kLedgerBytesUsed, {gs1::Hex(bytes), holder.Text(0, 0), holder.Text(0, 1), holder.Text(0, 2)}),
        0};
  } catch (const PgError& e) {
    Away(e.what());
    return std::nullopt;
  }
}

Status PgLedger::Send(const std::string& origin, const std::vector<Claim>& claims, std::optional<Message>& conflict) {
  if (const Status connected = Connect(); !connected) return connected;
  try {
    PgTransaction transaction(conn_);
    for (const Claim& claim : claims) {
      Query added(conn_,
                  "INSERT INTO claims(origin, local_id, station, owner, bank, start, value, bytes, pool, reuse, tid, "
                  "outcome, claimed, settled, journal, epc_before, length, data, verify, message) VALUES($1, $2, $3, "
                  "$4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15, $16, $17, $18, $19, $20) "
                  "ON CONFLICT(origin, local_id) DO NOTHING RETURNING id",
                  {origin,
                   std::to_string(claim.id),
                   claim.station,
                   claim.owner,
                   std::to_string(claim.bank),
                   std::to_string(claim.start),
                   claim.value,
                   ByteaText(claim.bytes),
                   claim.pool,
                   claim.reuse ? "true" : "false",
                   claim.tid,
                   OutcomeName(claim.outcome),
                   claim.claimed,
                   claim.settled,
                   claim.journal,
                   claim.epcBefore,
                   std::to_string(claim.length),
                   claim.data,
                   claim.verify,
                   claim.message});
      // Sent before: counted once.
      if (added.Rows() == 0) continue;
      if (claim.pool.empty() || claim.bytes.empty() || claim.reuse || claim.outcome == Outcome::kFailed) continue;
      Query other(conn_,
                  "SELECT station, claimed FROM claims WHERE bank = $1 AND start = $2 AND bytes = $3 "
                  "AND outcome <> 'failed' AND id <> $4 ORDER BY id LIMIT 1",
                  {std::to_string(claim.bank), std::to_string(claim.start), ByteaText(claim.bytes), added.Text(0, 0)});
      if (other.Rows() > 0 && !conflict) {
        conflict = Message{
            msg::kSharedLedgerConflict,
            FormatString(msg::kSharedLedgerConflict, {shown_, claim.value, other.Text(0, 0), other.Text(0, 1)}), 0};
      }
    }
    transaction.Commit();
    return Done{};
  } catch (const PgError& e) {
    return Away(e.what());
  }
}

Status PgLedger::GiveBack(const std::string& pool, const std::optional<std::string>& progress, const std::string& end) {
  if (const Status connected = Connect(); !connected) return connected;
  try {
    PgTransaction transaction(conn_);
    Query(conn_, "SELECT pg_advisory_xact_lock(hashtextextended($1, 0))", {pool});
    if (progress) {
      Query(conn_, "UPDATE pools SET position = $2 WHERE pool = $1 AND position = $3", {pool, *progress, end});
    } else {
      // Not one value used of a new pool's first lease: the pool is new again.
      Query(conn_, "DELETE FROM pools WHERE pool = $1 AND position = $2", {pool, end});
    }
    Query(conn_, "DELETE FROM leases WHERE pool = $1 AND end_position = $2", {pool, end});
    transaction.Commit();
    return Done{};
  } catch (const PgError& e) {
    return Away(e.what());
  }
}

Result<std::vector<Claim>> PgLedger::List(const ListFilter& filter) {
  if (const Status connected = Connect(); !connected) return Result<std::vector<Claim>>::Failure(connected.message());
  try {
    Query rows(conn_,
               "SELECT id, station, owner, bank, start, value, encode(bytes, 'hex'), pool, reuse, tid, outcome, "
               "claimed, settled, journal, epc_before, length, data, verify, message FROM claims "
               "WHERE ($1 = '' OR station = $1) AND ($2 = '' OR journal = $2) ORDER BY id",
               {filter.station, filter.journal});
    std::vector<Claim> claims;
    for (int row = 0; row < rows.Rows(); ++row) {
      Claim claim;
      claim.id = rows.Number(row, 0);
      claim.station = rows.Text(row, 1);
      claim.owner = rows.Text(row, 2);
      claim.bank = static_cast<int>(rows.Number(row, 3));
      claim.start = static_cast<int>(rows.Number(row, 4));
      claim.value = rows.Text(row, 5);
      claim.bytes = FromHex(rows.Text(row, 6));
      claim.pool = rows.Text(row, 7);
      claim.reuse = rows.Text(row, 8) == "t";
      claim.tid = rows.Text(row, 9);
      claim.outcome = OutcomeFromName(rows.Text(row, 10)).value_or(Outcome::kUnknown);
      claim.claimed = rows.Text(row, 11);
      claim.settled = rows.Text(row, 12);
      claim.journal = rows.Text(row, 13);
      claim.epcBefore = rows.Text(row, 14);
      claim.length = static_cast<int>(rows.Number(row, 15));
      claim.data = rows.Text(row, 16);
      claim.verify = rows.Text(row, 17);
      claim.message = rows.Text(row, 18);
      claims.push_back(std::move(claim));
    }
    return claims;
  } catch (const PgError& e) {
    return Result<std::vector<Claim>>::Failure(Away(e.what()).message());
  }
}

Result<std::vector<PoolState>> PgLedger::Pools() {
  if (const Status connected = Connect(); !connected) {
    return Result<std::vector<PoolState>>::Failure(connected.message());
  }
  try {
    Query rows(conn_, "SELECT pool, position FROM pools ORDER BY pool");
    std::vector<PoolState> pools;
    for (int row = 0; row < rows.Rows(); ++row) pools.push_back(PoolState{rows.Text(row, 0), rows.Text(row, 1)});
    return pools;
  } catch (const PgError& e) {
    return Result<std::vector<PoolState>>::Failure(Away(e.what()).message());
  }
}

Result<std::vector<OpenLease>> PgLedger::Leases() {
  if (const Status connected = Connect(); !connected) {
    return Result<std::vector<OpenLease>>::Failure(connected.message());
  }
  try {
    Query rows(conn_, "SELECT pool, station, first, last FROM leases ORDER BY pool, station, taken");
    std::vector<OpenLease> leases;
    for (int row = 0; row < rows.Rows(); ++row) {
      leases.push_back(OpenLease{rows.Text(row, 0), rows.Text(row, 1), rows.Text(row, 2), rows.Text(row, 3)});
    }
    return leases;
  } catch (const PgError& e) {
    return Result<std::vector<OpenLease>>::Failure(Away(e.what()).message());
  }
}

Result<std::optional<std::string>> PgLedger::Position(const std::string& pool) {
  if (const Status connected = Connect(); !connected) {
    return Result<std::optional<std::string>>::Failure(connected.message());
  }
  try {
    Query found(conn_, "SELECT position FROM pools WHERE pool = $1", {pool});
    if (found.Rows() == 0) return std::optional<std::string>();
    return std::optional<std::string>(found.Text(0, 0));
  } catch (const PgError& e) {
    return Result<std::optional<std::string>>::Failure(Away(e.what()).message());
  }
}

}  // namespace stampwise::ledger
