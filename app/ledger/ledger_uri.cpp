#include "app/ledger/ledger_uri.h"

namespace stampwise::ledger {

bool IsSharedLedgerUri(const std::string& where) {
  return where.rfind("postgresql://", 0) == 0 || where.rfind("postgres://", 0) == 0;
}

std::string WithoutPassword(const std::string& uri) {
  std::string shown = uri;
  const std::size_t scheme = shown.find("://");
  if (scheme != std::string::npos) {
    const std::size_t authority = scheme + 3;
    const std::size_t path = shown.find_first_of("/?", authority);
    const std::size_t at = shown.rfind('@', path == std::string::npos ? std::string::npos : path);
    if (at != std::string::npos && at >= authority) {
      const std::size_t colon = shown.find(':', authority);
      if (colon != std::string::npos && colon < at) shown.erase(colon, at - colon);
    }
  }
  // A password given as a parameter goes as well.
  for (std::size_t at = shown.find("password="); at != std::string::npos; at = shown.find("password=", at)) {
    const char separator = at == 0 ? '\0' : shown[at - 1];
    if (separator != '?' && separator != '&') {
      ++at;
      continue;
    }
    const std::size_t end = shown.find('&', at);
    shown.erase(at - 1, end == std::string::npos ? std::string::npos : end - at + 1);
    // The first parameter's '?' stays for the one after it.
    if (separator == '?' && at - 1 < shown.size()) shown[at - 1] = '?';
    --at;
  }
  return shown;
}

}  // namespace stampwise::ledger
