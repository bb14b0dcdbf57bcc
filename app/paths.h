// Where the tool keeps its files: the program directory, the per-user
// settings file and the default folder of the log files.
#pragma once

#include <string>

namespace stampwise {

// Names the settings file instead of the per-user default (tests, --settings).
inline constexpr const char* kSettingsFileVariable = "STAMPWISE_SETTINGS";

// The folder of the running executable, with a trailing "/".
std::string ProgramDirectory();

// The program directory when it is writable, otherwise
// "$XDG_DATA_HOME/QL-MKV Stampwise/" (created on demand); trailing "/".
std::string DefaultLogDirectory();

// $STAMPWISE_SETTINGS when set and not empty, otherwise
// "$XDG_CONFIG_HOME/Vex Applikationen/QL-MKV Stampwise.ini" (~/.config when unset).
std::string DefaultSettingsFile();

}  // namespace stampwise
