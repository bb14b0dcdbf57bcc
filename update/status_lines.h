// The two status lines of the about box, also printed by the command line
// tool: what the software check and the device check found, in the active
// language.
#pragma once

#include <string>

#include "update/update_check.h"

namespace stampwise::update {

inline constexpr const char* kApplicationTitle = "QL-MKV Stampwise";

enum class LineKind {
  kCurrent,   // up to date, or no device: grey, no link
  kNewer,     // something newer: dark red, a link that starts the update
  kNoUpdate,  // the check was not possible: red, no link
};

struct StatusLine {
  std::string text;
  LineKind kind = LineKind::kCurrent;
  bool possible = true;  // false when the check could not be made
};

// "Neue Version:QL-MKV Stampwise => V 1.10 (2026-01-01)", the title with
// " ist aktuell", or string 602 (no content) or 603 (no version or build).
StatusLine SoftwareLine(const CUpdateCheck& software);

// Resolves the device's alias, then "Update <name> V<own> => V<server>", or
// "<name> V<own> " with " ist aktuell"; empty without a device. Without a
// versions file nothing is known: "<name> V<own>: " and string 602, never
// "up to date". A file that was fetched keeps the rules (an entry missing
// from it means up to date).
StatusLine DeviceLine(CUpdateCheck& device);

}  // namespace stampwise::update
