// Opens the ledger a job names: a file (the station's own SQLite ledger) or a
// database URI (a ledger shared by many stations, with the station's own
// ledger beside it).
#pragma once

#include <memory>
#include <string>

#include "app/ledger/lease_size.h"
#include "app/ledger/ledger.h"

namespace stampwise::ledger {

// `where`: a file, a postgresql:// URI, or empty for the per-user file.
Result<std::unique_ptr<Ledger>> OpenLedger(const std::string& where, int leaseSize = kDefaultLeaseSize);

// The same for reading what it holds: a ledger file that is not there is
// not made.
Result<std::unique_ptr<Ledger>> OpenLedgerToRead(const std::string& where);

}  // namespace stampwise::ledger
