#include "app/ledger/open_ledger.h"

#include "app/ledger/pg_ledger.h"
#include "app/ledger/shared_ledger.h"
#include "app/ledger/sqlite_ledger.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"

namespace stampwise::ledger {

Result<std::unique_ptr<Ledger>> OpenLedger(const std::string& where, int leaseSize) {
  const bool shared = IsSharedLedgerUri(where);
  // A URI libpq cannot read is no database away: nothing comes of waiting.
  if (const std::optional<std::string> unreadable = shared ? UnreadableUri(where) : std::nullopt) {
    return Result<std::unique_ptr<Ledger>>::Failure(
        Message{msg::kLedgerFailed, FormatString(msg::kLedgerFailed, {WithoutPassword(where), *unreadable}), 0});
  }
  Result<std::unique_ptr<SqliteLedger>> local =
      SqliteLedger::Open(shared || where.empty() ? DefaultLedgerFile() : where);
  if (!local) return Result<std::unique_ptr<Ledger>>::Failure(local.message());
  if (!shared) return std::unique_ptr<Ledger>(std::move(local).value());
  return std::unique_ptr<Ledger>(
      std::make_unique<SharedLedger>(std::move(local).value(), std::make_unique<PgLedger>(where, leaseSize)));
}

Result<std::unique_ptr<Ledger>> OpenLedgerToRead(const std::string& where) {
  if (IsSharedLedgerUri(where)) return OpenLedger(where);
  Result<std::unique_ptr<SqliteLedger>> opened = SqliteLedger::Open(where, false);
  if (!opened) return Result<std::unique_ptr<Ledger>>::Failure(opened.message());
  return std::unique_ptr<Ledger>(std::move(opened).value());
}

}  // namespace stampwise::ledger
