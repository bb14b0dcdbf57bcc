// The shared ledger of a build made without a PostgreSQL client (Windows):
// every address is refused with "not available in this build", before
// anything is opened.
#include "app/ledger/pg_ledger.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"

namespace stampwise::ledger {

namespace {

Message Absent() { return {msg::kNotInThisBuild, FormatString(msg::kNotInThisBuild, {"PostgreSQL"}), 0}; }

}  // namespace

bool SharedLedgerAvailable() { return false; }

std::optional<std::string> UnreadableUri(const std::string&) { return Absent().text; }

PgLedger::PgLedger(std::string uri, int leaseSize)
    : uri_(std::move(uri)), shown_(WithoutPassword(uri_)), leaseSize_(leaseSize) {}
PgLedger::~PgLedger() = default;

Result<Lease> PgLedger::TakeLease(const std::string&, const std::string&, const std::optional<std::string>&,
                                  const std::optional<std::string>&, const PlanFunction&, const std::string&) {
  return Failed{Absent()};
}
std::optional<Message> PgLedger::UsedBefore(int, int, const Bytes&) { return Absent(); }
Status PgLedger::Send(const std::string&, const std::vector<Claim>&, std::optional<Message>&) {
  return Failed{Absent()};
}
Status PgLedger::GiveBack(const std::string&, const std::optional<std::string>&, const std::string&) {
  return Failed{Absent()};
}
Result<std::vector<Claim>> PgLedger::List(const ListFilter&) { return Failed{Absent()}; }
Result<std::vector<PoolState>> PgLedger::Pools() { return Failed{Absent()}; }
Result<std::vector<OpenLease>> PgLedger::Leases() { return Failed{Absent()}; }
Result<std::optional<std::string>> PgLedger::Position(const std::string&) { return Failed{Absent()}; }

}  // namespace stampwise::ledger
