// The GS1 EPCs a station wrote, as one EPCIS 2.0 document in JSON-LD: an
// ObjectEvent per tag (action ADD, business step commissioning, disposition
// active), for trading partners and their repositories.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/ledger/ledger.h"

namespace stampwise::events {

// A read point as the settings give it: a pure-identity SGLN, an SGLN tag
// URI (taken as its pure identity) or another absolute URI; nothing for
// anything else (a plain name is no read point).
std::optional<std::string> ReadPointUri(const std::string& setting);

struct EpcisExport {
  std::string document;  // JSON-LD, one line per event
  int events = 0;
  int unknown = 0;  // GS1 EPCs whose outcome is unknown: left out
};

// The written GS1 EPCs among `claims`, in their order. `readPoint` goes
// with the claims of `station` only: other stations on the ledger may stand
// elsewhere. `created`: the document's creation time (ISO 8601).
EpcisExport EpcisDocument(const std::vector<ledger::Claim>& claims, const std::string& station,
                          const std::optional<std::string>& readPoint, const std::string& created);

}  // namespace stampwise::events
