// Telling a shared ledger's address from a ledger file, and showing it.
#pragma once

#include <string>

namespace stampwise::ledger {

// True for a libpq connection URI ("postgresql://" or "postgres://").
bool IsSharedLedgerUri(const std::string& where);
// The URI without its password, fit for logs and output.
std::string WithoutPassword(const std::string& uri);

}  // namespace stampwise::ledger
