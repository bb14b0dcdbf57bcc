// Where the tool keeps its files: the program directory, the per-user
// settings file and the default folder of the log files.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace stampwise {

// Names the settings file instead of the per-user default (tests, --settings).
inline constexpr const char* kSettingsFileVariable = "STAMPWISE_SETTINGS";
// The per-user registry profile as a settings "file" name: on Windows the
// settings live there, unless STAMPWISE_SETTINGS or --settings name a file.
inline constexpr const char* kRegistryProfile = "HKEY_CURRENT_USER\\Software\\Vex Applikationen\\QL-MKV Stampwise";

// Names the ledger instead of the per-user default (tests, --ledger).
inline constexpr const char* kLedgerVariable = "STAMPWISE_LEDGER";

// The path of one of the program's file names. Its strings are UTF-8 on
// every system; the standard library would read a narrow name on Windows
// byte by byte.
std::filesystem::path FilePath(std::string_view name);

// The running executable's file.
std::string ExecutablePath();
// The folder of the running executable, with a trailing "/".
std::string ProgramDirectory();

// Where the program's own files (the English library, the manual) are looked
// up, in this order: the program directory (a build folder), then the private
// folder of an installed program (lib/<multiarch>/stampwise/ beside bin/).
std::vector<std::string> ResourceDirectories();
// The first of them that holds `name`; the program directory when none does.
std::string ResourceDirectoryOf(const std::string& name);

// The program directory when it is writable, otherwise the data directory
// (created on demand); trailing "/".
std::string DefaultLogDirectory();

// "$XDG_DATA_HOME/QL-MKV Stampwise" (~/.local/share when unset); on Windows
// "QL-MKV Stampwise" in the user's local application data. Not created.
std::string DataDirectory();

// $STAMPWISE_SETTINGS when set and not empty, otherwise
// "$XDG_CONFIG_HOME/Vex Applikationen/QL-MKV Stampwise.ini" (~/.config when
// unset); on Windows kRegistryProfile.
std::string DefaultSettingsFile();

}  // namespace stampwise
