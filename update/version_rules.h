// How versions are compared and told: the newer rule of the update check,
// the device version from the reader's identification, and the program's own
// version and build date.
#pragma once

#include <string>

namespace stampwise::update {

// Server (version, build) against the own pair. Versions are split at the
// first '.'; majors compare as integers, minors as text (so "07" < "10" but
// "7" > "10"). When that does not already say newer, a non-empty server build
// decides: newer when the own build is less as text. Builds are "%Y-%m-%d".
bool IsNewerVersion(const std::string& ownVersion, const std::string& ownBuild, const std::string& serverVersion,
                    const std::string& serverBuild);

// "1.%02d" of the identification's fourth character: '0'-'9' give 0-9,
// 'A'-'Z' 10-35, 'a'-'z' 36-61, anything else 0.
std::string DeviceVersion(char c);

// The version as the about box shows it: empty (or longer than 19
// characters) gives "-.--", shorter than 4 characters gets a blank appended.
std::string OwnVersionText(const std::string& productVersion);

// The program's product version by that rule.
std::string GetOwnVersion();

// The last-modification date of `file` in local time, "%Y-%m-%d"; empty when
// it cannot be read.
std::string FileDate(const std::string& file);

// The build date: the running executable's modification date.
std::string GetOwnBuildDate();

}  // namespace stampwise::update
